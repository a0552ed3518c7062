#pragma once
// The list of the lines an import refused ("Nr.: k -> line"), shown when the import ends.
#include <QDialog>
#include <QStringList>

class CLanguageHandler;
class QListWidget;

class CImportErrorDlg : public QDialog {
    Q_OBJECT
public:
    CImportErrorDlg(CLanguageHandler* lang, const QStringList& errors, QWidget* parent = nullptr);
    QListWidget* List() const { return m_list; }

    // A list entry shows at most this many characters (a line of a megabyte would make the
    // list unusable); the rest is cut and marked with "...".
    static constexpr int kShownChars = 300;

private:
    QListWidget* m_list;
};
