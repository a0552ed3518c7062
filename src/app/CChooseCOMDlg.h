#pragma once
// Port choice: lists the COM ports the caller found, stores the chosen one as the port to use
// and can ask for the connection to be made at once.
#include <QDialog>
#include <cstdint>
#include <vector>

class CLanguageHandler;
class QComboBox;
class QPushButton;

class CChooseCOMDlg : public QDialog {
    Q_OBJECT
public:
    // Result of the dialog when it was closed with the connect-now button.
    static constexpr int kConnectNowResult = 5;

    // ports: the COM numbers present (CSerialLink::EnumerateComPorts), in any order.
    CChooseCOMDlg(CLanguageHandler* lang, const std::vector<uint32_t>& ports, QWidget* parent = nullptr);

    // 1 when the dialog was closed with connect-now; the caller then starts the connection.
    int ConnectNow() const { return m_connectNow; }

    // "COM10" -> 10; the letters C, O and M are stripped from both ends. 0 when no number is left.
    static uint32_t PortNumberFromText(const QString& text);

private slots:
    void OnOK();
    void OnConnectNow();

private:
    bool StoreSelection();

    CLanguageHandler* m_lang;
    QComboBox* m_combo = nullptr;
    int m_connectNow = 0;
};
