#pragma once
// The parameter dialog of the Birch reader: its master transponder (read from the reader at
// opening, chosen against the record's when the two differ, or taught anew with "&Neu"), its
// mode (stand-alone or read-head), and its switching time with the "active" switch.
// "Datenbank aktualisieren" stores in the reader record; "Leser aktualisieren" stores and
// writes mode and switching time into the reader.
//
// Controls carry their numbers as object names: master 1018, "&Neu" 1019, radios 1011
// (stand-alone) and 1012 (read-head), switching time 1015, "aktiv" 1017, buttons 1064
// (database), 3 (reader) and 2 (close), progress bar 1034, status line 1032.
#include "params/BirchParams.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

class CParamBirchDlg : public QDialog {
    Q_OBJECT
public:
    // How long after opening the choice between two masters is offered.
    static constexpr int kChoiceDelayMs = 500;

    CParamBirchDlg(const ParamSupport::Context& ctx, const structLeser& reader, QWidget* parent = nullptr);

    BirchParams& Core() { return m_core; }
    QString ShownMaster() const;

    void OnNewMaster();
    void OnUpdateDatabase();
    void OnUpdateReader();

private:
    void ChooseMaster();   // the two masters differ: ask which one holds
    ParamSupport::Feedback MakeFeedback();
    QString T(uint32_t n) const;

    ParamSupport::Context m_ctx;
    BirchParams m_core;
    QLineEdit* m_master;
    QPushButton* m_new;
    QRadioButton* m_standalone;
    QRadioButton* m_readHead;
    QLineEdit* m_switch;
    QCheckBox* m_active;
    QPushButton* m_dbButton;
    QPushButton* m_readerButton;
    QProgressBar* m_progress;
    QLabel* m_status;
};
