#pragma once
// The event table: the access events read from the readers, all of them or, when opened from a
// reader's node under the events category, only that reader's. Events are never inserted or
// edited here (insert and delete entry stay grey); delete all removes every event shown: all
// events, or with the reader filter only that reader's.
//
// Every cell comes from the store's cached lists on demand. The person of an event is found
// through the store's lookups (transponder by number, person by transponder), never by a walk
// of the lists, so a table of many thousand events paints and sorts as fast as a small one.
// In filter mode the view keeps the IDs of the events it shows (from the events-by-reader
// lookup) and finds each again by ID, so a reload of the cache cannot make a row show another
// event.
#include "views/CGridBaseDlg.h"

#include <cstdint>
#include <vector>

class CEventFilterBar;
struct structEvents;

class CEventsDlg : public CGridBaseDlg {
    Q_OBJECT
public:
    enum Column {
        ColPosition = 1, ColTransponder, ColPerson, ColReader, ColDate, ColTime,
        ColClass, ColClassText, ColDetail, ColDetailText, ColCount = ColDetailText
    };

    explicit CEventsDlg(const ViewContext& ctx, QWidget* parent = nullptr);

    // ---- the base's operations ----
    void Fill() override;
    int ColumnCount() const override { return ColCount; }
    QString ColumnTitle(int col) const override;
    int RecordCount() const override;
    QString RecordCellText(int index, int col) const override;
    bool IsColumnReadOnly(int col) const override { Q_UNUSED(col) return true; }
    std::vector<int> DefaultColumnWidths() const override;
    CGridCtrl::ColumnFit ColumnFitOf(int col) const override;
    std::vector<MenuItem> ContextMenuItems(int row, int col) override;
    void OnCommand(int command) override;
    ChangeTexts ChangeTextNumbers() const override;

    // Delete all (command 32787): every event, or with the reader filter that reader's events.
    void DeleteAllEvents();

    // The event shown in data row index + 1 (before any sort), or null.
    const structEvents* ShownEvent(int index) const;
    CEventFilterBar* FilterBar() const { return m_filterBar; }

private:
    QString PersonOf(const QString& transponderNo) const;
    QString ReaderNameOf(const structEvents& e) const;

    std::vector<int32_t> m_shownIds;   // filter mode: IDs of the reader's events, in list order
    CEventFilterBar* m_filterBar = nullptr;   // the filter row above the grid
    bool m_filtered = false;                  // a reader filter or the filter row: m_shownIds holds the rows
};
