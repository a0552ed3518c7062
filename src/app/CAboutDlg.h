#pragma once
// The About dialog. In splash mode (at start) it has no OK button and closes itself after
// two seconds; in normal mode it waits for OK.
#include <QDialog>

class CLanguageHandler;
class QLabel;
class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSplashTimerId = 1025;
    static constexpr int kSplashMs = 2000;

    CAboutDlg(CLanguageHandler* lang, bool splash, QWidget* parent = nullptr);

    bool IsSplash() const { return m_splash; }

    // The maker's addresses behind the two links.
    static QString MailAddress();
    static QString WebAddress();

protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    CLanguageHandler* m_lang;
    bool m_splash;
    int m_timer = 0;
    QPushButton* m_ok = nullptr;
};
