#include "records/TableDescriptions.h"

using TableColumn::Int;
using TableColumn::Text;

const std::vector<ColumnOf<structLeser>>& TableOf<structLeser>::Columns()
{
    using R = structLeser;
    static const std::vector<ColumnOf<R>> columns{
        Text<&R::Name>("Name"),     Text<&R::Info>("Info"),   Text<&R::Identity>("Identity"),
        Int<&R::Changed>("Changed"), Text<&R::Model>("Model"), Text<&R::SwitchTime>("SwitchTime"),
        Text<&R::Params>("Params"),
    };
    return columns;
}

const std::vector<ColumnOf<structTransponder>>& TableOf<structTransponder>::Columns()
{
    using R = structTransponder;
    static const std::vector<ColumnOf<R>> columns{
        Text<&R::Number>("Number", "idxTransponderNumber"),
        Int<&R::PersonID>("PersonID", "idxTransponderPerson"),
        Int<&R::ScheduleID>("ScheduleID", "idxTransponderSchedule"),
        Text<&R::Readers>("Readers"),
        Int<&R::Changed>("Changed"),
    };
    return columns;
}

const std::vector<ColumnOf<structPerson>>& TableOf<structPerson>::Columns()
{
    using R = structPerson;
    static const std::vector<ColumnOf<R>> columns{
        Text<&R::Name>("Name"),
        Int<&R::TransponderID>("TransponderID", "idxPersonTransponder"),
    };
    return columns;
}

namespace {
template <int D>
ColumnOf<structZeitschema> Day(const char* name)
{
    return {name, nullptr, [](structZeitschema& r) -> int32_t& { return r.Day[D]; }};
}
} // namespace

const std::vector<ColumnOf<structZeitschema>>& TableOf<structZeitschema>::Columns()
{
    using R = structZeitschema;
    static const std::vector<ColumnOf<R>> columns{
        Text<&R::Name>("Name", "idxScheduleName"),
        Text<&R::From>("\"From\""),
        Text<&R::To>("\"To\""),
        Day<0>("Day0"), Day<1>("Day1"), Day<2>("Day2"), Day<3>("Day3"), Day<4>("Day4"), Day<5>("Day5"), Day<6>("Day6"),
        Int<&R::Changed>("Changed"),
    };
    return columns;
}

const std::vector<ColumnOf<structEvents>>& TableOf<structEvents>::Columns()
{
    using R = structEvents;
    static const std::vector<ColumnOf<R>> columns{
        Text<&R::TransponderNo>("TransponderNo"),
        Text<&R::Date>("Date"),
        Text<&R::Time>("Time"),
        Text<&R::ClassCode>("ClassCode"),
        Text<&R::ClassText>("ClassText"),
        Text<&R::DetailCode>("DetailCode"),
        Text<&R::DetailText>("DetailText"),
        Int<&R::ReaderID>("ReaderID", "idxEventsReader"),
        Text<&R::ReaderName>("ReaderName"),
    };
    return columns;
}

const std::vector<ColumnOf<structOnline>>& TableOf<structOnline>::Columns()
{
    using R = structOnline;
    static const std::vector<ColumnOf<R>> columns{Int<&R::Online>("Online")};
    return columns;
}

bool TableInfo::IsInteger(const QString& column) const
{
    const qsizetype i = columns.indexOf(column);
    return i < 0 ? column == QLatin1String("ID") : bool(integer[size_t(i)]);
}

template <class R>
const TableInfo& InfoOf()
{
    static const TableInfo info = [] {
        TableInfo t;
        t.name = QString::fromLatin1(TableOf<R>::Name());
        for (const ColumnOf<R>& c : TableOf<R>::Columns()) {
            t.columns << QString::fromLatin1(c.name);
            t.integer.push_back(c.number != nullptr);
            if (c.index)
                t.indexes << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                                 .arg(QString::fromLatin1(c.index), t.name, QString::fromLatin1(c.name));
        }
        t.allColumns = QStringLiteral("ID,") + t.columns.join(u',');
        return t;
    }();
    return info;
}

template const TableInfo& InfoOf<structLeser>();
template const TableInfo& InfoOf<structTransponder>();
template const TableInfo& InfoOf<structPerson>();
template const TableInfo& InfoOf<structZeitschema>();
template const TableInfo& InfoOf<structEvents>();
template const TableInfo& InfoOf<structOnline>();

const std::vector<const TableInfo*>& AllTables()
{
    static const std::vector<const TableInfo*> all{&InfoOf<structLeser>(),      &InfoOf<structTransponder>(),
                                                   &InfoOf<structPerson>(),     &InfoOf<structZeitschema>(),
                                                   &InfoOf<structEvents>(),     &InfoOf<structOnline>()};
    return all;
}
