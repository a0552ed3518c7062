#pragma once
// The progress window of the long reader and import operations: modeless, without parent,
// centred and shown as soon as it is made. It deletes itself when it is closed, so the
// operation that made it keeps it in a QPointer and ends it with Destroy().
#include <QDialog>

class CLanguageHandler;
class QLabel;
class QProgressBar;

class CDataProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDataProgressDlg(CLanguageHandler* lang);

    void SetText(const QString& text);
    void SetRange(int lower, int upper);
    void SetPos(int pos);
    QString Text() const;
    int Pos() const;

    void Destroy();   // closes the window, which then deletes itself

private:
    QLabel* m_label;
    QProgressBar* m_progress;
};
