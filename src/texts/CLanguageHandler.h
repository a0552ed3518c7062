#pragma once
// Texts by number in German (0) and English (1). Text N is what GetLangItem(N) returns in the
// current language; text 74 is the program title and the caption of every message box.
// GetLangItem may be called from any thread.
#include <QString>
#include <QStringList>
#include <QHash>
#include <cstdint>
#include <shared_mutex>

class QIODevice;

class CLanguageHandler {
public:
    // Loads the texts of the language from the folder (e.g. working directory + "SysFiles/").
    // When the folder holds no text files, the folder beside the program is tried.
    CLanguageHandler(uint32_t language, const QString& folder);
    ~CLanguageHandler();

    QString GetLangItem(uint32_t number) const;   // empty text for an unknown number, never fails
    void SetAktLanguage(uint32_t language);
    void GetAllItems();                           // reload the texts of the current language
    uint32_t GetAktivLanguage() const;

    bool IsLoaded() const;                        // the text file of the current language was read
    QString LoadedFrom() const;                   // the file the texts came from
    QStringList SearchedFiles() const;            // where the current language's file was looked for

    // The texts of a text file's contents: one text a line, the number, a tab, the text; "\n"
    // stands for a line break, "\t" for a tab and "\\" for a backslash; lines starting with
    // "#" and lines without a number before their first tab are left out.
    static QHash<uint32_t, QString> ParseTexts(QIODevice& device);

private:
    QStringList Candidates() const;   // caller holds the lock
    // A standard shared mutex rather than Qt's: the thread sanitizer sees through it, so a
    // sanitizer build checks every caller of GetLangItem on the worker threads too.
    mutable std::shared_mutex m_lock;
    uint32_t m_language;
    QString m_folder;
    QString m_loadedFrom;
    QHash<uint32_t, QString> m_texts;
};
