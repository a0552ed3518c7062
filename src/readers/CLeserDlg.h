#pragma once
// The reader table: one row per reader record, and the place from which whole-reader
// operations start. Renames and deletes readers, registers the reader that comes online
// (with the tree kept in step), and offers the reader commands in its context menu once the
// connected reader has proven to be the one of the row.
//
// The view owns no reader data: every cell comes from the store's reader cache on demand.
// The reader operations themselves are widget-free (ReaderRegistration, ReaderDeletion,
// ReaderIdentity); this class turns clicks into calls to them and refreshes grid and tree.
#include "readers/CDataProgressDlg.h"
#include "params/ParamSupport.h"
#include "views/CGridBaseDlg.h"

#include <QPointer>
#include <QString>
#include <memory>

class CDataProgressDlg;
class CEventReadRun;
class CSerialLink;
struct EventReadResult;
class CWriteAllRun;

class CLeserDlg : public CGridBaseDlg {
    Q_OBJECT
public:
    // Commands of the context menu beyond insert / delete / delete all.
    enum ReaderCommand {
        CmdReadEvents = 32799,
        CmdDeleteReaderEvents = 32800,
        CmdFetchAll = 32801,
        CmdWriteAll = 32802,
        CmdCompare = 32860,   // compare the reader with the database (read-only)
    };
    // Columns, in order after the fixed column 0.
    enum Column { ColPosition = 1, ColChanged, ColModel, ColName, ColIdentity, ColInfo, ColButton, ColCount = ColButton };

    explicit CLeserDlg(const ViewContext& ctx, QWidget* parent = nullptr);
    ~CLeserDlg() override;

    // ---- the base's operations ----
    void Fill() override;
    void EndEdit(int row, int col, const QString& text) override;   // rename (column 4)
    int ColumnCount() const override { return ColCount; }
    QString ColumnTitle(int col) const override;
    int RecordCount() const override;
    QString RecordCellText(int index, int col) const override;
    bool IsColumnReadOnly(int col) const override;
    std::vector<int> DefaultColumnWidths() const override;
    CGridCtrl::ColumnFit ColumnFitOf(int col) const override;
    QColor CellBackground(int row, int col) const override;
    std::vector<MenuItem> ContextMenuItems(int row, int col) override;
    void OnCommand(int command) override;

    // A reader has come online (WM_USER+16): registers it when this view or the link asked
    // for it, and clears both requests first.
    void OnReaderOnline() override;

    // ---- commands ----
    void InsertReader();        // restart the link so that the connected reader is registered
    void DeleteReaders();       // the selected readers, with the event question
    void DeleteAllReaders();
    void OnButton(int row, int col);
    // Read events: the options dialog, then (posted) the start of the run.
    void ReadEvents();
    void StartEventReading();
    // Empty the event memory of the reader at the port, after question 160.
    void DeleteEventsInReader();

    // The read run of this view (null before the first), for tests that wait for it.
    CEventReadRun* EventRun() const { return m_eventRun.get(); }
    // Fetch all (32801) and write all (32802) of a Cedar, Maple or Rowan: the write starts
    // from the event loop (StartWriteAll), as its command only posts the request.
    void FetchAllData();
    void StartWriteAll();

    // ---- state of the last context menu (tests read it) ----
    int ModelNumber() const { return m_nModel; }
    int SelectedRowIndex() const { return m_nSelectedRow; }
    QString SelectedReaderName() const { return m_strSelectedName; }
    int SelectedReaderID() const { return m_nSelectedReaderID; }
    bool IdentityChecked() const { return m_bIdentityOk; }
    int RegistrationRequested() const { return m_bRegisterRequest; }
    int Idle() const { return m_nIdle; }
    CDataProgressDlg* ProgressWindow() const { return m_progress; }

private:
    CSerialLink* Link() const;
    // What the parameter and send dialogs work with: texts, store, link, and this table's redraw.
    ParamSupport::Context ParamContext();
    // Fetch all / write all of a Birch or Alder: the send dialog. False for other commands and models.
    bool OpenDeskReaderTransfer(int command);
    void RefreshAfterDelete();
    void OnEventReadingEnd(const EventReadResult& result);
    void OnWriteAllFinished(int written);
    void EndProgress();

    // Context-menu state.
    int m_nSelectedRow = -1;
    QString m_strSelectedName;
    int m_nModel = 0;
    int m_nSelectedReaderID = 0;
    bool m_bIdentityOk = false;

    // Fields of the reader operations (event reading, write all), kept for them.
    int m_bDateFilter = 0;
    int m_bReadToPointer = 1;
    QString m_strFromDate;
    QString m_strToDate;
    int m_nIdle = 1;
    int m_bStop = 0;
    std::unique_ptr<CEventReadRun> m_eventRun;
    QPointer<CDataProgressDlg> m_progress;
    std::unique_ptr<CWriteAllRun> m_writeRun;

    int m_bRegisterRequest = 0;
};
