#pragma once
// The choice list shown when a desk reader (Birch or Alder) comes online: the table's readers
// of that model and, last, the entry that registers it as a new reader. OK is enabled only
// once an entry is selected.
#include <QDialog>
#include <QStringList>

class CLanguageHandler;
class QListWidget;
class QPushButton;

class CChooseReaderDlg : public QDialog {
    Q_OBJECT
public:
    // names: the readers of the model in table order; extraEntry: the "new reader" entry.
    CChooseReaderDlg(const CLanguageHandler* lang, const QStringList& names, const QString& extraEntry,
                     QWidget* parent = nullptr);

    // The selected entry's text after OK; empty after Cancel.
    QString ChosenText() const { return m_chosen; }

    // Shows the dialog modally and returns the chosen text, or an empty text when cancelled.
    static QString Choose(const CLanguageHandler* lang, const QStringList& names, const QString& extraEntry,
                          QWidget* parent = nullptr);

    void accept() override;

private:
    QListWidget* m_list;
    QPushButton* m_ok;
    QString m_chosen;
};
