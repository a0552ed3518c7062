#pragma once
// The transponder memory of a desk reader (Birch, Alder): the database's transponders of the
// reader (list 1074), the transponders read from the reader (1073) and the target list (1075)
// put together from both with "->" (1080) and "<-" (1081) and thinned with 1083. "&Senden"
// (1079) writes the target list into the reader with its settings (send mode), or only takes
// it over into the database (take-over mode). The reader is read 500 ms after opening.
#include "params/BirchSlots.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

class CSendBirchDlg : public QDialog {
    Q_OBJECT
public:
    enum Mode { TakeOverMode = 0, SendMode = 1 };
    static constexpr int kReadDelayMs = 500;

    CSendBirchDlg(const ParamSupport::Context& ctx, int mode, int32_t readerId, QWidget* parent = nullptr);

    BirchSlots& Core() { return m_core; }
    bool ReaderRead() const { return m_readDone; }   // the reading after opening has ended
    static QStringList Entries(const QTreeWidget* list);

    void ReadReader();
    void CopySelected(QTreeWidget* from);
    void RemoveSelected();
    void OnSend();

private:
    QTreeWidget* MakeList(const char* id, uint32_t header, const QColor& background);
    void FillDatabaseList();
    void EnableTargetButtons(bool on);
    ParamSupport::Feedback MakeFeedback();
    QString T(uint32_t n) const;

    ParamSupport::Context m_ctx;
    BirchSlots m_core;
    int m_mode;
    bool m_readDone = false;
    bool m_waitCursor = false;
    QTreeWidget* m_dbList;
    QTreeWidget* m_readerList;
    QTreeWidget* m_target;
    QPushButton* m_send;
    QPushButton* m_remove;
    QProgressBar* m_progress;
    QLabel* m_status;
};
