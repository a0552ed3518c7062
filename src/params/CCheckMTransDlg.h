#pragma once
// The choice between two master transponders: the one the Birch reader holds and the one its
// record holds. The reader's number is offered first.
#include <QDialog>
#include <QString>

class CLanguageHandler;
class QRadioButton;

class CCheckMTransDlg : public QDialog {
    Q_OBJECT
public:
    CCheckMTransDlg(const QString& readerNumber, const QString& dbNumber, const CLanguageHandler* lang,
                    QWidget* parent = nullptr);

    // The number chosen after OK; empty after Cancel.
    QString chosenMaster;
    // After OK: whether the reader's number was chosen (else the database's).
    bool ChoseReader() const { return m_choseReader; }

    void accept() override;

private:
    QString m_readerNumber;
    QString m_dbNumber;
    QRadioButton* m_reader;
    bool m_choseReader = false;
};
