#include "exchange/CsvExport.h"

#include "base/Prompt.h"
#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "records/TextOps.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

namespace {

const QString kSep = QStringLiteral(";");

// Name of the schedule a transponder refers to: the head windows stand at 0, 4, 8, ...
QHash<int32_t, QString> ScheduleNamesByHeadId(CtblZeitschema* schedules)
{
    QHash<int32_t, QString> names;
    for (int i = 0; i < schedules->GetAnz_Zeitschema(); i += 4) {
        const structZeitschema& z = schedules->Get_Zeitschema(i);
        if (!names.contains(z.ID))
            names.insert(z.ID, z.Name);
    }
    return names;
}

// ";" and one column per reader (its name when assigned, else empty); nothing without readers.
QString ReaderPart(const std::vector<std::pair<int32_t, QString>>& readers, const QString& list)
{
    if (readers.empty())
        return {};
    const QList<int32_t> ids = ReaderIDs(list);
    QString part;
    for (const auto& [id, name] : readers) {
        part += kSep;
        if (ids.contains(id))
            part += name;
    }
    return part;
}

// "DDMMYYYY" -> "DD.MM.YYYY", "HHMM" -> "HH:MM".
QString EventDate(const QString& d) { return d.mid(0, 2) + u'.' + d.mid(2, 2) + u'.' + d.right(4); }
QString EventTime(const QString& t) { return t.left(2) + u':' + t.right(2); }

} // namespace

QStringList CsvLinesFromStore(CStoreDB_Handler* store, CsvExportKind kind, CLanguageHandler* lang)
{
    QStringList lines;
    if (!store || kind == CsvExportKind::CurrentView)
        return lines;
    CtblLeser* leser = store->Get_Ptr_To_tblLeser();
    CtblTransponder* transponders = store->Get_Ptr_To_tblTransponder();
    CtblPerson* persons = store->Get_Ptr_To_tblPerson();

    std::vector<std::pair<int32_t, QString>> readers;
    for (int i = 0; i < leser->GetAnz_Leser(); ++i)
        readers.emplace_back(leser->Get_Leser(i).ID, leser->Get_Leser(i).Name);
    const QHash<int32_t, QString> schedules = ScheduleNamesByHeadId(store->Get_Ptr_To_tblZeitschema());
    const QString none = QStringLiteral("---");

    switch (kind) {
    case CsvExportKind::Transponders:
        lines.reserve(transponders->GetAnz_Transponder());
        for (int i = 0; i < transponders->GetAnz_Transponder(); ++i) {
            const structTransponder& t = transponders->Get_Transponder(i);
            const structPerson* p = t.PersonID ? persons->FindById(t.PersonID) : nullptr;
            lines << QStringLiteral("Transponder;") + t.Number + kSep + (p ? p->Name : none) + kSep +
                         schedules.value(t.ScheduleID) + ReaderPart(readers, t.Readers);
        }
        break;
    case CsvExportKind::Persons:
        lines.reserve(persons->GetAnz_Person());
        for (int i = 0; i < persons->GetAnz_Person(); ++i) {
            const structPerson& p = persons->Get_Person(i);
            const structTransponder* t = p.TransponderID ? transponders->FindById(p.TransponderID) : nullptr;
            // A person without transponder keeps the same number of fields, all empty.
            lines << QStringLiteral("Person;") + p.Name + kSep + (t ? t->Number : QString()) + kSep +
                         (t ? schedules.value(t->ScheduleID) : QString()) + ReaderPart(readers, t ? t->Readers : QString());
        }
        break;
    case CsvExportKind::Events: {
        CtblEvents* events = store->Get_Ptr_To_tblEvents();
        const QString classWord = lang ? lang->GetLangItem(202) : QString();
        const QString detailWord = lang ? lang->GetLangItem(203) : QString();
        // The person of an event, by transponder number; many events share a few numbers.
        QHash<QString, QString> personOf;
        lines.reserve(events->GetAnz_Events());
        for (int i = 0; i < events->GetAnz_Events(); ++i) {
            const structEvents& e = events->Get_Event(i);
            auto it = personOf.constFind(e.TransponderNo);
            if (it == personOf.constEnd()) {
                QString name = none;
                const int ti = transponders->IndexOfNumber(e.TransponderNo);
                if (ti >= 0) {
                    const int32_t pid = transponders->Get_Transponder(ti).PersonID;
                    if (const structPerson* p = pid ? persons->FindById(pid) : nullptr)
                        name = p->Name;
                }
                it = personOf.insert(e.TransponderNo, name);
            }
            lines << QStringLiteral("Event;") + e.TransponderNo + kSep + *it + kSep + e.ReaderName + kSep +
                         EventDate(e.Date) + kSep + EventTime(e.Time) + kSep + classWord + e.ClassCode + kSep +
                         e.ClassText + kSep + detailWord + e.DetailCode + kSep + e.DetailText;
        }
        break;
    }
    case CsvExportKind::CurrentView:
        break;
    }
    return lines;
}

QStringList CsvSplitNames(CStoreDB_Handler* store)
{
    QStringList names;
    if (!store || !store->IsDatabaseOpen())
        return names;
    auto note = [&names](const QString& name) {
        if (name.contains(u';'))
            names << name;
    };
    CtblPerson* persons = store->Get_Ptr_To_tblPerson();
    for (int i = 0; i < persons->GetAnz_Person(); ++i)
        note(persons->Get_Person(i).Name);
    CtblZeitschema* schedules = store->Get_Ptr_To_tblZeitschema();
    for (int i = 0; i < schedules->GetAnz_Zeitschema(); ++i)
        note(schedules->Get_Zeitschema(i).Name);
    CtblLeser* readers = store->Get_Ptr_To_tblLeser();
    for (int i = 0; i < readers->GetAnz_Leser(); ++i)
        note(readers->Get_Leser(i).Name);
    names.sort();
    names.removeDuplicates();
    return names;
}

QString CsvSplitNamesNote(const QStringList& names, CLanguageHandler* lang)
{
    if (names.isEmpty())
        return {};
    return (lang ? lang->GetLangItem(381) : QString()) + u'\n' + names.join(u'\n');
}

QStringList CsvLinesFromGrid(CsvViewKind view, const CsvGridText& grid)
{
    QStringList lines;
    // The reader columns of a row: the title for a ticked cell, then ";"; the last ";" dropped.
    auto readerPart = [&grid](const QStringList& row, int first) {
        QString part;
        for (int c = first; c < grid.titles.size(); ++c) {
            if (row.value(c) == QStringLiteral("1"))
                part += grid.titles.at(c);
            part += kSep;
        }
        part.chop(1);
        return part;
    };
    auto cells = [](const QStringList& row, int from, int to) {
        QStringList out;
        for (int c = from; c <= to; ++c)
            out << row.value(c);
        return out.join(kSep);
    };
    for (const QStringList& row : grid.rows) {
        switch (view) {
        case CsvViewKind::Transponders:
            lines << QStringLiteral("Transponder;") + cells(row, 3, 5) + kSep + readerPart(row, 6);
            break;
        case CsvViewKind::Persons:
            lines << QStringLiteral("Person;") + cells(row, 2, 4) + kSep + readerPart(row, 5);
            break;
        case CsvViewKind::Events:
            lines << QStringLiteral("Event;") + cells(row, 2, 10);
            break;
        case CsvViewKind::Other:
            return {};
        }
    }
    return lines;
}

CsvWriteResult WriteCsvLines(QIODevice& device, const QStringList& lines)
{
    CsvWriteResult result;
    QByteArray chunk;
    constexpr qsizetype kChunk = 1 << 16;
    auto flush = [&]() {
        if (chunk.isEmpty())
            return true;
        if (device.write(chunk) != chunk.size()) {
            result.error = device.errorString();
            return false;
        }
        chunk.clear();
        return true;
    };
    for (const QString& line : lines) {
        int replaced = 0;
        chunk += EncodeWindows1252(line, &replaced);
        chunk += "\r\n";
        result.replaced += replaced;
        if (chunk.size() >= kChunk && !flush())
            return result;
        ++result.lines;
    }
    if (!flush())
        return result;
    result.ok = true;
    return result;
}

CsvWriteResult WriteCsvFile(const QString& path, const QStringList& lines)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        // A device or pipe is written in place: a save file would rename a regular file over it.
        QFile device(path);
        CsvWriteResult r;
        if (!device.open(QIODevice::WriteOnly)) {
            r.error = device.errorString();
            return r;
        }
        r = WriteCsvLines(device, lines);
        if (r.ok && !device.flush()) {
            r.ok = false;
            r.error = device.errorString();
        }
        device.close();
        if (r.ok && device.error() != QFileDevice::NoError) {
            r.ok = false;
            r.error = device.errorString();
        }
        return r;
    }
    QSaveFile file(path);
    // A file in a folder where no temporary file can be made is written directly.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        CsvWriteResult r;
        r.error = file.errorString();
        return r;
    }
    CsvWriteResult r = WriteCsvLines(file, lines);
    if (!r.ok) {
        file.cancelWriting();
        return r;
    }
    if (!file.commit()) {
        r.ok = false;
        r.error = file.errorString();
    }
    return r;
}

QString CsvReplacedNote(int replaced, uint32_t language)
{
    if (replaced <= 0)
        return {};
    return CsvLiteral(language,
                      "Die Datei wurde geschrieben. %1 Zeichen gibt es im Zeichensatz Windows-1252 nicht; sie "
                      "stehen in der Datei als \"?\".",
                      "The file was written. %1 characters do not exist in the Windows-1252 character set; they "
                      "stand as \"?\" in the file.")
        .arg(replaced);
}

CsvExportResult RunCsvExport(CsvExportKind kind, const CsvExportContext& ctx)
{
    CsvExportResult result;
    const uint32_t language = Settings::ReadLanguage();

    const QString saved = Settings::ReadPath(QStringLiteral("SavePath"));
    FileRequest request;
    request.save = true;
    request.title = CsvLiteral(language, "Ereignisse speichern unter ...", "Save Events as ...");
    request.folder = saved.isEmpty() ? QDir::homePath() : QFileInfo(saved).absolutePath();
    request.fileName = CsvDefaultFileName(kind, language) + QStringLiteral(".csv");
    request.filter = CsvLiteral(language, "CSV Dateien (*.csv)", "CSV files (*.csv)");
    const QString chosen = ChooseFile(request);
    if (chosen.isEmpty()) {
        result.cancelled = true;
        return result;
    }
    result.path = CsvFixExtension(chosen);
    if (!MayReplaceRenamed(chosen, result.path, ctx.lang ? ctx.lang->GetLangItem(304) : QString())) {
        result.cancelled = true;
        return result;
    }
    Settings::WritePath(QStringLiteral("SavePath"), result.path);

    if (ctx.busy)
        ctx.busy(true);
    QStringList lines;
    if (kind == CsvExportKind::CurrentView) {
        if (ctx.grid && ctx.view != CsvViewKind::Other)
            lines = CsvLinesFromGrid(ctx.view, ctx.grid());
    } else if (ctx.store && ctx.store->IsDatabaseOpen()) {
        lines = CsvLinesFromStore(ctx.store, kind, ctx.lang);
    }
    result.write = WriteCsvFile(result.path, lines);
    result.splitNames = CsvSplitNames(ctx.store);
    if (ctx.busy)
        ctx.busy(false);
    result.ok = result.write.ok;
    return result;
}
