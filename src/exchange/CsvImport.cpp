#include "exchange/CsvImport.h"

#include "base/Prompt.h"
#include "exchange/CsvText.h"
#include "records/CStoreDB_Handler.h"
#include "records/ChangeNotice.h"
#include "records/CStoreTransaction.h"
#include "records/RecordOps.h"
#include "records/TextOps.h"
#include "records/TransponderEdits.h"
#include "texts/CLanguageHandler.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <deque>
#include <map>
#include <optional>

namespace {

const QString kNoPerson = QStringLiteral("---");

QString TypeWord(CsvImportKind kind)
{
    return kind == CsvImportKind::Transponders ? QStringLiteral("Transponder") : QStringLiteral("Person");
}

// Fields a line must have, the type word included.
int MinimumFields(CsvImportKind kind) { return kind == CsvImportKind::Transponders ? 3 : 2; }

bool IsPersonName(const QString& p) { return !p.isEmpty() && p != kNoPerson; }

QString JoinIds(const std::vector<int32_t>& ids)
{
    QStringList parts;
    for (int32_t id : ids)
        parts << QString::number(id);
    return parts.join(QLatin1Char(';'));
}

// What the import looks up for every line, built once from the cached lists and kept up to
// date as lines are stored, and the store steps of a line. Each step throws CDBException on a
// store error (the caller's transaction then takes the line back) and keeps the cached lists
// in step with what it stored.
class ImportSession {
public:
    explicit ImportSession(CStoreDB_Handler* store)
        : m_store(store), m_t(store->Get_Ptr_To_tblTransponder()), m_p(store->Get_Ptr_To_tblPerson()),
          m_l(store->Get_Ptr_To_tblLeser())
    {
        for (int i = 0; i < m_l->GetAnz_Leser(); ++i) {
            const structLeser& l = m_l->Get_Leser(i);
            if (!m_readerByName.contains(l.Name))
                m_readerByName.insert(l.Name, l.ID);
            if (l.Changed == 1)
                m_readersChanged.insert(l.ID);
        }
        CtblZeitschema* zs = store->Get_Ptr_To_tblZeitschema();
        for (int i = 0; i < zs->GetAnz_Zeitschema(); ++i) {
            const structZeitschema& z = zs->Get_Zeitschema(i);
            if (!m_scheduleByName.contains(z.Name))
                m_scheduleByName.insert(z.Name, z.ID);
        }
        for (int i = 0; i < m_p->GetAnz_Person(); ++i)
            m_personsByName[m_p->Get_Person(i).Name].push_back(m_p->Get_Person(i).ID);
        for (int i = 0; i < m_t->GetAnz_Transponder(); ++i) {
            const structTransponder& t = m_t->Get_Transponder(i);
            if (t.PersonID)
                m_transpondersByPerson[t.PersonID].push_back(t.ID);
        }
    }

    // ---- lookups ----
    // Whether a transponder of this number is stored: the cache answers for what this program
    // knows, the database (inside the import's transaction, which holds the numbers' lock) for
    // what another station added since; a failed look-up counts as stored, so nothing doubles.
    bool NumberExists(const QString& number) const
    {
        return m_t->IndexOfNumber(number) >= 0 || TransponderEdits::StoredNumberId(*m_store, number) != 0;
    }
    // Stored by another station after the lists were read: the line cannot replace it.
    bool NumberStoredElsewhere(const QString& number) const
    {
        return m_t->IndexOfNumber(number) < 0 && TransponderEdits::StoredNumberId(*m_store, number) != 0;
    }
    bool PersonExists(const QString& name) const
    {
        auto it = m_personsByName.constFind(name);
        return it != m_personsByName.constEnd() && !it->empty();
    }

    // The schedule named S; the full-access schedule answers to both of its names, and to an
    // empty field. 0 when none does: such a line is refused, for a misspelt name must not open
    // every door at every hour.
    int32_t ScheduleId(const QString& name) const
    {
        if (name.isEmpty())
            return 1;
        auto it = m_scheduleByName.constFind(name);
        if (it != m_scheduleByName.constEnd())
            return *it;
        if (IsFullAccessName(name)) {
            it = m_scheduleByName.constFind(name == kFullAccessDe ? kFullAccessEn : kFullAccessDe);
            if (it != m_scheduleByName.constEnd())
                return *it;
        }
        return 0;
    }

    // The readers of these names; unknown names are left out, a reader named twice
    // is listed once.
    std::vector<int32_t> ReaderIds(const QStringList& names) const
    {
        std::vector<int32_t> ids;
        for (const QString& name : names) {
            auto it = m_readerByName.constFind(name);
            if (it != m_readerByName.constEnd() && std::find(ids.begin(), ids.end(), *it) == ids.end())
                ids.push_back(*it);
        }
        return ids;
    }

    // ---- store steps ----
    int32_t AddTransponder(const QString& number, const std::vector<int32_t>& readers, int32_t scheduleId)
    {
        m_t->AddNew();
        structTransponder& t = m_t->Rec();
        t.Number = number;
        t.PersonID = 0;
        t.ScheduleID = scheduleId;
        t.Readers = JoinIds(readers);
        t.Changed = 1;
        structTransponder stored = t;
        m_t->Update();
        stored.ID = m_t->GetLastAddedID();
        m_t->Append(stored);
        return stored.ID;
    }

    // Deletes the transponder of this number, if any: its person loses it, its readers change.
    void DeleteTransponderNumbered(const QString& number)
    {
        const int index = m_t->IndexOfNumber(number);
        if (index < 0)
            return;
        const structTransponder old = m_t->Get_Transponder(index);
        m_t->DeleteById(old.ID);
        m_p->UpdateColumnWhere(QStringLiteral("TransponderID"), 0, QStringLiteral("TransponderID"), old.ID);
        for (int pi : m_p->IndicesOfTransponder(old.ID))
            m_p->PatchById(m_p->Get_Person(pi).ID, [](structPerson& p) { p.TransponderID = 0; });
        const QList<int32_t> oldReaders = ReaderIDs(old.Readers);
        MarkReadersChanged(std::vector<int32_t>(oldReaders.begin(), oldReaders.end()));
        if (old.PersonID) {
            std::vector<int32_t>& list = m_transpondersByPerson[old.PersonID];
            list.erase(std::remove(list.begin(), list.end(), old.ID), list.end());
        }
        m_t->RemoveIds({old.ID});
    }

    // Deletes the first person of this name, if any; transponders that pointed to it lose it.
    void DeletePersonNamed(const QString& name)
    {
        auto it = m_personsByName.find(name);
        if (it == m_personsByName.end() || it->empty())
            return;
        const int32_t pid = it->front();
        it->pop_front();
        m_p->DeleteById(pid);
        m_t->UpdateColumnWhere(QStringLiteral("PersonID"), 0, QStringLiteral("PersonID"), pid);
        for (int32_t tid : m_transpondersByPerson.take(pid))
            m_t->PatchById(tid, [](structTransponder& t) { t.PersonID = 0; });
        m_p->RemoveIds({pid});
    }

    int32_t AddPerson(const QString& name, int32_t transponderId)
    {
        m_p->AddNew();
        m_p->Rec().Name = name;
        m_p->Rec().TransponderID = transponderId;
        structPerson stored = m_p->Rec();
        m_p->Update();
        stored.ID = m_p->GetLastAddedID();
        m_p->Append(stored);
        m_personsByName[name].push_back(stored.ID);
        return stored.ID;
    }

    void SetPersonOfTransponder(int32_t transponderId, int32_t personId)
    {
        m_t->UpdateColumnWhere(QStringLiteral("PersonID"), personId, QStringLiteral("ID"), transponderId);
        m_t->PatchById(transponderId, [personId](structTransponder& t) { t.PersonID = personId; });
        m_transpondersByPerson[personId].push_back(transponderId);
    }

    // Readers whose Changed is 1 already are left alone, so a big import touches each reader once.
    void MarkReadersChanged(const std::vector<int32_t>& readers)
    {
        for (int32_t rid : readers) {
            if (m_readersChanged.contains(rid))
                continue;
            m_l->UpdateColumnWhere(QStringLiteral("Changed"), 1, QStringLiteral("ID"), rid);
            m_l->PatchById(rid, [](structLeser& l) { l.Changed = 1; });
            m_readersChanged.insert(rid);
        }
    }

    // ---- the lines; false: refused ----
    bool TransponderLine(const QString& taken)
    {
        CsvLineFields f;
        if (!ParseCsvLine(CsvImportKind::Transponders, taken, &f) || NumberExists(f.number))
            return false;
        const int32_t scheduleId = ScheduleId(f.schedule);
        if (scheduleId == 0)
            return false;
        const std::vector<int32_t> readers = ReaderIds(f.readers);
        const int32_t tid = AddTransponder(f.number, readers, scheduleId);
        if (IsPersonName(f.person)) {
            DeletePersonNamed(f.person);
            SetPersonOfTransponder(tid, AddPerson(f.person, tid));
        }
        MarkReadersChanged(readers);
        return true;
    }

    bool PersonLine(const QString& taken)
    {
        CsvLineFields f;
        if (!ParseCsvLine(CsvImportKind::Persons, taken, &f) || PersonExists(f.person))
            return false;
        const int32_t scheduleId = f.number.isEmpty() ? 0 : ScheduleId(f.schedule);
        if (!f.number.isEmpty() && scheduleId == 0)
            return false;
        int32_t tid = 0;
        std::vector<int32_t> readers;
        if (!f.number.isEmpty()) {
            if (NumberStoredElsewhere(f.number))
                return false;
            readers = ReaderIds(f.readers);
            DeleteTransponderNumbered(f.number);
            tid = AddTransponder(f.number, readers, scheduleId);
        }
        const int32_t pid = AddPerson(f.person, tid);
        if (tid) {
            SetPersonOfTransponder(tid, pid);
            MarkReadersChanged(readers);
        }
        return true;
    }

private:
    CStoreDB_Handler* m_store;
    CtblTransponder* m_t;
    CtblPerson* m_p;
    CtblLeser* m_l;
    QHash<QString, int32_t> m_readerByName;
    QHash<QString, int32_t> m_scheduleByName;
    QHash<QString, std::deque<int32_t>> m_personsByName;           // person IDs in table order
    QHash<int32_t, std::vector<int32_t>> m_transpondersByPerson;    // transponder IDs by PersonID
    QSet<int32_t> m_readersChanged;
};

} // namespace

bool CsvImportPossible(CStoreDB_Handler* store)
{
    return store && store->Get_Ptr_To_tblOnline()->_Requery();
}

bool ParseCsvLine(CsvImportKind kind, const QString& taken, CsvLineFields* fields)
{
    const QStringList f = SplitText(taken, QLatin1Char(';'));
    CsvLineFields parsed;
    if (kind == CsvImportKind::Transponders) {
        parsed.number = f.value(0);
        parsed.person = f.value(1);
    } else {
        parsed.person = f.value(0);
        parsed.number = f.value(1);
    }
    parsed.schedule = f.value(2);
    parsed.readers = f.mid(3);
    // Numbers as readers report them: lower case is taken upper-cased, anything else refused.
    const QString number = TransponderEdits::ValidNumber(parsed.number);
    const bool numberOk = !number.isEmpty();
    if (numberOk)
        parsed.number = number;
    if (fields)
        *fields = parsed;
    if (HasControlCharacter(taken))
        return false;
    if (kind == CsvImportKind::Transponders)
        return numberOk;
    return IsPersonName(parsed.person) && (parsed.number.isEmpty() || numberOk);
}

CCsvImporter::CCsvImporter(CStoreDB_Handler* store, CLanguageHandler* lang, CsvImportHooks hooks)
    : m_store(store), m_lang(lang), m_hooks(std::move(hooks))
{
    if (!m_hooks.askForeignLine) {
        m_hooks.askForeignLine = [lang](int lineNo) {
            const QString t94 = lang ? lang->GetLangItem(94) : QStringLiteral("%d");
            const QString t95 = lang ? lang->GetLangItem(95) : QString();
            QString text = t94;
            text.replace(QStringLiteral("%d"), QString::number(lineNo));
            return AskYesNo(text + u'\n' + t95);
        };
    }
}

QString CCsvImporter::ErrorText(int number, const QString& taken)
{
    // A control character would be lost or cut the line in the list; it shows as a sign.
    QString shown = taken;
    for (QChar& ch : shown)
        if (ch.category() == QChar::Other_Control)
            ch = QChar::ReplacementCharacter;
    return QStringLiteral("Nr.: %1 -> ").arg(number) + shown;
}

CsvReadResult CCsvImporter::ReadFile(const QString& path, CsvImportKind kind) const
{
    CsvReadResult r;
    QFile file(path);
    // A device or pipe may never end (/dev/zero): only plain files are read.
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile()) {
        r.error = CsvLiteral(m_lang ? m_lang->GetAktivLanguage() : 0, "Das ist keine gewöhnliche Datei.",
                             "This is not a regular file.");
        return r;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        r.error = file.errorString();
        return r;
    }
    return ReadDevice(file, kind);
}

namespace {
bool DeviceFailed(const QIODevice& device)
{
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    return file && file->error() != QFileDevice::NoError;
}
} // namespace

CsvReadResult CCsvImporter::ReadDevice(QIODevice& device, CsvImportKind kind) const
{
    CsvReadResult r;
    // First pass: is every byte valid UTF-8? Read in pieces, so a huge file costs no memory.
    Utf8Validator utf8;
    char piece[16384];
    while (utf8.Valid()) {
        const qint64 got = device.read(piece, qint64(sizeof piece));
        if (got <= 0)
            break;
        utf8.Feed(piece, qsizetype(got));
    }
    if (DeviceFailed(device)) {
        r.error = device.errorString();
        return r;
    }
    r.utf8 = utf8.Finish();
    if (!device.seek(0)) {
        r.error = device.errorString();
        return r;
    }

    const QString word = TypeWord(kind) + u';';
    const int minimum = MinimumFields(kind);
    while (!device.atEnd()) {
        QByteArray raw = device.readLine();
        if (raw.isEmpty() && DeviceFailed(device)) {
            r.error = device.errorString();
            return r;
        }
        if (raw.endsWith('\n'))
            raw.chop(1);
        if (raw.endsWith('\r'))
            raw.chop(1);
        ++r.linesRead;
        if (r.linesRead == 1 && r.utf8 && raw.startsWith("\xEF\xBB\xBF"))
            raw.remove(0, 3);
        const QString line = r.utf8 ? QString::fromUtf8(raw) : DecodeWindows1252(raw);
        if (line.startsWith(word) && line.count(u';') + 1 >= minimum) {
            r.taken << line.mid(word.size());
            continue;
        }
        if (!m_hooks.askForeignLine(r.linesRead)) {
            r.stopped = true;
            break;
        }
    }
    r.opened = true;
    return r;
}

CsvImportResult CCsvImporter::ImportLines(CsvImportKind kind, const QStringList& taken)
{
    CsvImportResult result;
    result.opened = true;
    result.taken = int(taken.size());
    if (!m_store || !m_store->IsDatabaseOpen())
        return result;

    CtblTransponder* transponders = m_store->Get_Ptr_To_tblTransponder();
    CtblPerson* persons = m_store->Get_Ptr_To_tblPerson();
    if (!transponders->Open() || !persons->Open()) {
        transponders->Close();
        persons->Close();
        RecordOpsDetail::ShowOpenFailed(m_store);
        result.storeFailed = true;
        return result;
    }

    // Lines are judged against the database as it is now, not as this program last read it.
    CChangeNotice::CatchUp(m_store);
    ImportSession session(m_store);
    const uint32_t language = m_lang ? m_lang->GetAktivLanguage() : 0;
    std::map<int, QString> errors;            // by line number among the taken lines
    std::vector<int> pending;                 // lines stored in the open transaction
    std::optional<CStoreTransaction> tx;
    int failedFrom = -1;                      // first line not stored after a store error
    const int total = int(taken.size());

    // Commits the open transaction; next is the first line after it.
    auto commit = [&](int next) {
        if (!tx)
            return true;
        const bool ok = tx->Commit() == 1;
        tx.reset();
        if (ok) {
            result.imported += int(pending.size());
        } else {
            failedFrom = pending.empty() ? next : pending.front();
            ShowExclamation(CsvLiteral(language, "Die Änderungen konnten nicht gespeichert werden.",
                                       "The changes could not be stored."));
        }
        pending.clear();
        return ok;
    };

    for (int k = 0; k < total; ++k) {
        if (!tx) {
            tx.emplace(m_store);
            if (!tx->Started()) {
                tx.reset();
                failedFrom = k;
                ShowExclamation(CsvLiteral(language, "Die Datenbank nimmt keine Änderungen an.",
                                           "The database takes no changes."));
                break;
            }
        }
        bool stored = false;
        try {
            stored = kind == CsvImportKind::Transponders ? session.TransponderLine(taken.at(k))
                                                         : session.PersonLine(taken.at(k));
        } catch (const CDBException& e) {
            tx->Rollback();
            tx.reset();
            failedFrom = pending.empty() ? k : pending.front();
            pending.clear();
            ShowExclamation(e.m_strError);
            break;
        }
        if (stored)
            pending.push_back(k);
        else
            errors[k + 1] = ErrorText(k + 1, taken.at(k));
        if (int(pending.size()) >= m_linesPerTransaction && !commit(k + 1))
            break;
        if (m_hooks.progress && ((k + 1) % 50 == 0 || k + 1 == total))
            m_hooks.progress(k + 1, total);
    }
    if (failedFrom < 0)
        commit(total);
    transponders->Close();
    persons->Close();

    // After a store error every line not stored is listed, so none is lost unseen.
    if (failedFrom >= 0) {
        result.storeFailed = true;
        for (int k = failedFrom; k < total; ++k)
            errors.emplace(k + 1, ErrorText(k + 1, taken.at(k)));
    }
    for (const auto& [number, text] : errors)
        result.errors << text;

    // The cached lists followed every step; reloading them also undoes what a rolled-back
    // transaction left in them.
    transponders->_Requery();
    persons->_Requery();
    m_store->Get_Ptr_To_tblLeser()->_Requery();
    return result;
}

CsvImportResult CCsvImporter::ImportFile(const QString& path, CsvImportKind kind)
{
    const CsvReadResult read = ReadFile(path, kind);
    if (!read.opened) {
        CsvImportResult r;
        r.error = read.error;
        return r;
    }
    CsvImportResult r = ImportLines(kind, read.taken);
    r.stopped = read.stopped;
    return r;
}
