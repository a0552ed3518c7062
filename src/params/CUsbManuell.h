#pragma once
// Adding transponders one after the other, typed by hand or by a USB keyboard reader, which
// types the ten digits followed by Enter into the focused field. Enter stores the number and
// keeps the dialog open for the next one; only Cancel (or Escape) closes it. Each number added
// shows in the transponder table at once.
#include <QDialog>

class CLanguageHandler;
class CTransponderDlg;
class CGridCtrl;
class QLineEdit;
class QLabel;
class QPushButton;

class CUsbManuell : public QDialog {
    Q_OBJECT
public:
    // The view adds the records and shows them; grid is the view's grid.
    CUsbManuell(CLanguageHandler* lang, CTransponderDlg* view, CGridCtrl* grid, QWidget* parent = nullptr);

    // Takes the number in the edit field (what Enter and OK do): refused (text 244, the edit
    // keeps it), already there (its row selected, text 246) or added (text 245). The edit is
    // cleared and focused afterwards unless the number was refused.
    void Enter();

    QLineEdit* Edit() const { return m_edit; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString Text(uint32_t number) const;
    void TakeFocusBack();

    CLanguageHandler* m_lang;
    CTransponderDlg* m_view;
    CGridCtrl* m_grid;
    QLineEdit* m_edit;
    QLabel* m_label;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
