#include "ReaderSession.h"

#include "CliContext.h"
#include "base/Settings.h"
#include "link/CLinkController.h"
#include "link/CSerialLink.h"
#include "link/ComPorts.h"
#include "readers/ReaderModel.h"
#include "records/CStoreDB_Handler.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QTimer>
#include <cerrno>
#include <cstring>

namespace {
// The connection worker always reports; this only guards against a worker that hangs. A desk
// reader needs the longest: five unanswered identify telegrams at the bus rate come first.
constexpr int kConnectGuardMs = 120000;
} // namespace

ReaderSession::ReaderSession(CliContext& ctx, CStoreDB_Handler& store)
    : m_ctx(ctx), m_store(store), m_controller(std::make_unique<CLinkController>(ctx.Lang()))
{
}

ReaderSession::~ReaderSession() { GoOffline(); }

CSerialLink& ReaderSession::Link() { return m_controller->Link(); }
int ReaderSession::InterfaceType() const { return m_type; }
QString ReaderSession::TypeText() const { return ReaderModel::TypeTextOfInterface(InterfaceType()); }
QString ReaderSession::DeviceId() const
{
    return m_controller ? QString::fromLatin1(m_controller->DeviceId()) : QString();
}

bool ReaderSession::GoOnline()
{
    m_port = m_ctx.Options().com ? m_ctx.Options().com : Settings::ReadAktCom();
    const QString device = QString::fromLocal8Bit(ComPorts::DevicePath(m_port));
    m_ctx.Progress().Start(m_ctx.Text(103).replace(QStringLiteral("%d"), QString::number(m_port)), 0);

    bool connected = false;
    bool reported = false;
    QEventLoop loop;
    QObject::connect(m_controller.get(), &CLinkController::ConnectResult, &loop, [&](bool result) {
        connected = result;
        reported = true;
        loop.quit();
    });
    QTimer::singleShot(kConnectGuardMs, &loop, &QEventLoop::quit);
    // Non-zero: the thread could not be started (the controller has said so).
    const int started = m_controller->StartConnectWorker(m_port);
    if (started == 0 && !reported)
        loop.exec();
    m_ctx.Progress().End();
    if (connected) {
        m_type = Link().m_nInterfaceType.load();
        return true;
    }

    // The worker tells "no connection" (text 107) after it has reported; the tool may be gone
    // by then. Ending the controller here waits for the worker, and the text is shown once, in
    // its place before the reason.
    const int error = Link().m_nLastOpenError.load();
    m_controller.reset();
    if (started == 0)
        m_ctx.Prompt().ShowOnce(m_ctx.Text(107), PromptIcon::Warning);
    const QString port = QStringLiteral("COM%1 (%2)").arg(m_port).arg(device);
    if (error == EBUSY)
        m_ctx.Prompt().Error(m_ctx.Literal("%1 wird schon benutzt, vom Programm oder einem anderen Prozess.",
                                           "%1 is in use already, by the program or another process.")
                                 .arg(port));
    else if (error != 0)
        m_ctx.Prompt().Error(m_ctx.Literal("%1 kann nicht geöffnet werden: %2", "%1 cannot be opened: %2")
                                 .arg(port, QString::fromLocal8Bit(std::strerror(error))));
    else if (started == 0)
        m_ctx.Prompt().Error(m_ctx.Literal("An %1 hat kein Leser geantwortet.", "No reader answered at %1.").arg(port));
    return false;
}

void ReaderSession::GoOffline()
{
    if (m_controller)
        m_controller->Link().CloseComPort();
}

ReaderRegistration::Result ReaderSession::Register()
{
    CtblLeser* readers = m_store.Get_Ptr_To_tblLeser();
    const QString& as = m_ctx.Options().registerAs;
    const bool desk = InterfaceType() == 0 || InterfaceType() == 3;
    if (!as.isEmpty() && !desk)
        m_ctx.Prompt().Note(m_ctx.Literal("--register-as gilt nur für Birch- und Alder-Leser; dieser Leser wird an seiner Geräte-ID erkannt.",
                                          "--register-as is for Birch and Alder readers; this reader is recognised by its device ID."));

    // The window shows the list of this model's readers; the command line names the choice.
    const auto choose = [&](const QStringList& names, const QString& extra) -> QString {
        if (as.isEmpty()) {
            m_ctx.Prompt().Note(m_ctx.Literal("Nicht registriert: ein %1-Leser wird mit --register-as NAME oder --register-as new registriert.",
                                              "Not registered: a %1 reader is registered with --register-as NAME or --register-as new.")
                                    .arg(TypeText()));
            return {};
        }
        if (as == QStringLiteral("new"))
            return extra;
        if (!names.contains(as)) {
            m_ctx.Prompt().Error(m_ctx.Literal("Kein %1-Leser namens \"%2\" in der Datenbank.",
                                               "No %1 reader named \"%2\" in the database.")
                                     .arg(TypeText(), as));
            return {};
        }
        return as;
    };
    const ReaderRegistration::Result result =
        ReaderRegistration::RegisterConnectedReader(Link(), m_store, ReaderRegistration::RowsOf(*readers), choose);
    m_reader = structLeser();
    m_registration = QStringLiteral("none");
    if (result.outcome == ReaderRegistration::Result::Recognised) {
        m_reader = readers->Get_Leser(result.row);   // the rows were taken in cache order
        m_registration = QStringLiteral("known");
    } else if (result.outcome == ReaderRegistration::Result::Added) {
        m_reader = result.record;
        m_registration = QStringLiteral("new");
    }
    return result;
}

bool ReaderSession::RegisterBusReader()
{
    if (!ReaderModel::IsBusReader(ReaderModel::FromInterfaceType(InterfaceType()))) {
        m_ctx.Prompt().Error(m_ctx.Literal("An COM%1 ist ein %2-Leser; dieser Befehl ist für Cedar-, Maple- und Rowan-Leser.",
                                           "The reader at COM%1 is a %2; this command is for Cedar, Maple and Rowan readers.")
                                 .arg(m_port)
                                 .arg(TypeText()));
        return false;
    }
    const ReaderRegistration::Result result = Register();
    return result.outcome == ReaderRegistration::Result::Recognised ||
           result.outcome == ReaderRegistration::Result::Added;
}

void ReaderSession::Describe() const
{
    QJsonObject& out = m_ctx.Result();
    out.insert(QStringLiteral("port"), int(m_port));
    out.insert(QStringLiteral("device"), QString::fromLocal8Bit(ComPorts::DevicePath(m_port)));
    if (InterfaceType() < 0 && m_reader.ID == 0)
        return;
    QJsonObject reader{{QStringLiteral("model"), m_reader.ID ? m_reader.Model : TypeText()},
                       {QStringLiteral("registration"), m_registration.isEmpty() ? QStringLiteral("none") : m_registration}};
    const QString deviceId = m_reader.ID && m_reader.Identity != QStringLiteral("---") ? m_reader.Identity : DeviceId();
    if (!deviceId.isEmpty())
        reader.insert(QStringLiteral("deviceId"), deviceId);
    if (m_reader.ID) {
        reader.insert(QStringLiteral("name"), m_reader.Name);
        reader.insert(QStringLiteral("id"), m_reader.ID);
    }
    out.insert(QStringLiteral("reader"), reader);
}

bool ReaderSession::OpenBusReader()
{
    if (!GoOnline())
        return false;
    if (!RegisterBusReader()) {
        Describe();
        return false;
    }
    return true;
}
