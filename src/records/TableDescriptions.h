#pragma once
// Every table of the record store, described once: its name and its stored columns in order,
// each an integer or a text field of the record, with the lookup index it has (if any). The key
// is always the self-numbering column ID, first in every statement. From this the schema, the
// record codec, whole-table reads, bulk edits and the backup and restore column lists are made,
// so adding a column is one line here plus its upgrade step (StoreSchema.cpp).
#include "records/Records.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <cstdint>
#include <vector>

// One stored column of record type R: a text or an integer field (exactly one accessor set).
template <class R>
struct ColumnOf {
    const char* name;                    // as statements spell it ("From" and "To" are keywords: quoted)
    QString& (*text)(R&) = nullptr;
    int32_t& (*number)(R&) = nullptr;
    const char* index = nullptr;         // the lookup index on it; none is UNIQUE
};

namespace TableColumn {
template <class M>
struct MemberOf;
template <class R, class F>
struct MemberOf<F R::*> {
    using Record = R;
};
template <auto M>
using RecordOf = typename MemberOf<decltype(M)>::Record;

template <auto M>
ColumnOf<RecordOf<M>> Text(const char* name, const char* index = nullptr)
{
    return {name, [](RecordOf<M>& r) -> QString& { return r.*M; }, nullptr, index};
}
template <auto M>
ColumnOf<RecordOf<M>> Int(const char* name, const char* index = nullptr)
{
    return {name, nullptr, [](RecordOf<M>& r) -> int32_t& { return r.*M; }, index};
}
} // namespace TableColumn

// The description of a record type's table: Name() and Columns().
template <class R>
struct TableOf;

#define VM_TABLE(R, NAME)                                                          \
    template <>                                                                    \
    struct TableOf<R> {                                                            \
        static const char* Name() { return NAME; }                                 \
        static const std::vector<ColumnOf<R>>& Columns();                          \
    };
VM_TABLE(structLeser, "tblLeser")
VM_TABLE(structTransponder, "tblTransponder")
VM_TABLE(structPerson, "tblPerson")
VM_TABLE(structZeitschema, "tblZeitschema")
VM_TABLE(structEvents, "tblEvents")
VM_TABLE(structOnline, "tblOnline")
#undef VM_TABLE

// A table's description without its record type, for the code that handles all tables alike
// (schema, backup and restore) and for the backends.
struct TableInfo {
    QString name;
    QStringList columns;          // the stored columns, ID not included
    std::vector<bool> integer;    // per column
    QStringList indexes;          // CREATE INDEX statements of its lookup columns
    QString allColumns;           // "ID,..." as a SELECT or INSERT names them
    bool IsInteger(const QString& column) const;   // ID included
};

template <class R>
const TableInfo& InfoOf();
// The six tables in the order they are made.
const std::vector<const TableInfo*>& AllTables();

// A record's stored values in column order; ID first when withId.
template <class R>
void AppendValues(const R& r, QVariantList& out, bool withId)
{
    if (withId)
        out.append(r.ID);
    R& f = const_cast<R&>(r);   // the accessors only read here
    for (const ColumnOf<R>& c : TableOf<R>::Columns()) {
        if (c.text) {
            const QString& s = c.text(f);
            // Text goes in as an empty text, never as NULL, whatever the caller left unassigned.
            out.append(s.isNull() ? QStringLiteral("") : s);
        } else {
            out.append(c.number(f));
        }
    }
}

// Fills a record from one result row whose columns are ID and then the stored ones in order.
// Row has Text(i) and Int(i).
template <class R, class Row>
void ReadRecord(const Row& row, R& r)
{
    r.ID = row.Int(0);
    int i = 1;
    for (const ColumnOf<R>& c : TableOf<R>::Columns()) {
        if (c.text)
            c.text(r) = row.Text(i);
        else
            c.number(r) = row.Int(i);
        ++i;
    }
}
