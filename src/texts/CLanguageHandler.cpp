#include "texts/CLanguageHandler.h"
#include "texts/QtTranslations.h"

#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <mutex>

namespace {

QString FileName(uint32_t language)
{
    return language == 1 ? QStringLiteral("texts_en.txt") : QStringLiteral("texts_de.txt");
}

QString Unescape(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size()) {
            const QChar c = s[++i];
            out += c == u'n' ? QChar(u'\n') : c == u't' ? QChar(u'\t') : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool LoadFile(const QString& path, QHash<uint32_t, QString>& texts)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    texts = CLanguageHandler::ParseTexts(file);
    return true;
}

} // namespace

CLanguageHandler::CLanguageHandler(uint32_t language, const QString& folder)
    : m_language(language), m_folder(folder)
{
    GetAllItems();
}

CLanguageHandler::~CLanguageHandler() = default;

QHash<uint32_t, QString> CLanguageHandler::ParseTexts(QIODevice& device)
{
    // The files are small: read whole, then walked line by line without copying the lines.
    const QString all = QString::fromUtf8(device.readAll());
    const QStringView text(all);
    QHash<uint32_t, QString> loaded;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        QStringView line = text.mid(start, end - start);
        start = end + 1;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0)
            continue;
        bool ok = false;
        const uint32_t number = line.left(tab).trimmed().toUInt(&ok);
        if (ok)
            loaded.insert(number, Unescape(line.mid(tab + 1)));
    }
    return loaded;
}

QString CLanguageHandler::GetLangItem(uint32_t number) const
{
    std::shared_lock lock(m_lock);
    return m_texts.value(number);
}

void CLanguageHandler::SetAktLanguage(uint32_t language)
{
    std::unique_lock lock(m_lock);
    m_language = language;
}

void CLanguageHandler::GetAllItems()
{
    uint32_t language = 0;
    {
        std::unique_lock lock(m_lock);
        language = m_language;
        m_loadedFrom.clear();
        m_texts.clear();
        for (const QString& path : Candidates()) {
            if (LoadFile(path, m_texts)) {
                m_loadedFrom = path;
                break;
            }
        }
    }
    // Qt's own buttons and dialogs speak the same language as the program's texts.
    UseQtTranslations(language);
}

uint32_t CLanguageHandler::GetAktivLanguage() const
{
    std::shared_lock lock(m_lock);
    return m_language;
}

bool CLanguageHandler::IsLoaded() const
{
    std::shared_lock lock(m_lock);
    return !m_loadedFrom.isEmpty();
}

QStringList CLanguageHandler::Candidates() const
{
    const QString name = FileName(m_language);
    // The working directory's SysFiles first; a program started from another folder still
    // finds the texts that the build put beside it, and an installed one those of its package.
    return {QDir::cleanPath(QDir(m_folder).filePath(name)),
            QDir::cleanPath(QDir(Paths::ProgramDir() + QStringLiteral("/SysFiles")).filePath(name)),
            QDir::cleanPath(QDir(Paths::ShareDir() + QStringLiteral("/SysFiles")).filePath(name))};
}

QStringList CLanguageHandler::SearchedFiles() const
{
    std::shared_lock lock(m_lock);
    return Candidates();
}

QString CLanguageHandler::LoadedFrom() const
{
    std::shared_lock lock(m_lock);
    return m_loadedFrom;
}
