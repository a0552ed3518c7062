#pragma once
// The short confirmation window: one line of bold green text that closes itself, as if OK
// had been pressed, two seconds after it opened. Shown modally (exec).
#include <QDialog>

class QLabel;

class CShowMessage : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 2000;

    explicit CShowMessage(const QString& text, QWidget* parent = nullptr);

    QString Text() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_label;
    bool m_timerStarted = false;
};
