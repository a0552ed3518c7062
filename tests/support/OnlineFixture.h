#pragma once
// Brings a simulated reader online: the simulator on a pseudo-terminal linked as a COM number,
// that number made the configured port, and a connection started through a link controller.
// Needs vm_sim and vm_link.
//
//   VmTest::OnlineFixture online(14);
//   QVERIFY(online.Start(Sim::Model::Cedar));
//   QVERIFY(online.Connect(controller));      // waits for the connection's result
//   online.Reader().DeviceId();
//
// NumberedTexts() gives the controller texts that name their own number ("T141").
#include "ReaderSim.h"
#include "base/Settings.h"
#include "link/CLinkController.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtGlobal>
#include <memory>

namespace VmTest {

// German texts "T<n>" for every number the program shows, so a test sees which text was shown.
inline std::unique_ptr<CLanguageHandler> NumberedTexts()
{
    const QString folder = IsolateHome() + QStringLiteral("/texts/");
    QDir().mkpath(folder);
    QFile f(folder + QStringLiteral("texts_de.txt"));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        for (int n = 1; n <= 260; ++n)
            f.write(QByteArray::number(n) + "\tT" + QByteArray::number(n) + "\n");
    f.close();
    return std::make_unique<CLanguageHandler>(0, folder);
}

class OnlineFixture {
public:
    explicit OnlineFixture(int comNumber) : m_com(comNumber) {}
    ~OnlineFixture() { Stop(); }

    // Replaces a running reader by a fresh one of the model and makes its COM number the
    // configured port.
    bool Start(Sim::Model model)
    {
        Stop();
        m_sim = std::make_unique<Sim::ReaderSim>(model, m_com);
        if (!m_sim->Start()) {
            qWarning("%s", m_sim->ErrorText().c_str());
            return false;
        }
        Settings::WriteAktCom(uint32_t(m_com));
        return true;
    }
    void Stop()
    {
        if (m_sim)
            m_sim->Stop();
        m_sim.reset();
    }
    Sim::ReaderSim& Reader() { return *m_sim; }
    int ComNumber() const { return m_com; }

    // How long a connection to the model may take: a desk reader is tried at the bus rate first
    // (five identify telegrams go unanswered), and the machine may be busy.
    static int ConnectTimeoutMs(Sim::Model model)
    {
        return model == Sim::Model::Birch || model == Sim::Model::Alder ? 40000 : 10000;
    }

    // Starts the controller's connection and waits for its result: true when the reader is online.
    bool Connect(CLinkController& controller)
    {
        QSignalSpy result(&controller, &CLinkController::ConnectResult);
        if (!m_sim || controller.StartConnectWorker() != 0)
            return false;
        return (result.count() > 0 || result.wait(ConnectTimeoutMs(m_sim->GetModel())))
            && result.first().first().toBool();
    }

private:
    int m_com;
    std::unique_ptr<Sim::ReaderSim> m_sim;
};

} // namespace VmTest
