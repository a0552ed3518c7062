#pragma once
// The grid layout file "DialogSetup.xml" in "SysFiles/" beside the program when that folder is
// writable (the build folder, a portable copy), else in the user's config folder, where the
// first run starts from the package's default copy (share folder) if there is one: column widths,
// header height and row height of every table view, kept between runs. The whole document is
// held in memory and written back at exit, so elements it does not know survive.
#include <QDomDocument>
#include <QDomElement>
#include <QMap>
#include <QString>
#include <list>
#include <memory>

class CDialogSetup {
public:
    CDialogSetup();
    ~CDialogSetup();

    int OpenFile(const QString& fileName);   // 1 when opened (or created) and read
    void SaveFile();                          // writes back to the path it was loaded from

    // which 1: header height, 0: row height; -1 when unknown or not set.
    int ReadGridHeight(const QString& dialogId, const QString& gridId, int which) const;
    int ReadColumnWidth(const QString& dialogId, const QString& gridId, int columnId) const;
    // which 0: row height, anything else: header height.
    void StoreGridHeight(const QString& dialogId, const QString& gridId, int which, int value);
    void StoreColumnWidth(const QString& dialogId, const QString& gridId, int columnId, int width);

    // Reads the layout from a document's text, as OpenFile does from the file: 1 when it
    // parses, else 0 with the parser's reason and line (the layout held so far stays then).
    int Load(const QByteArray& content, QString* reason = nullptr, int* line = nullptr);
    // The document as SaveFile writes it.
    QByteArray Content() const;

    QString Path() const { return m_path; }
    // Where OpenFile reads and writes fileName (see above).
    static QString LayoutPath(const QString& fileName);

private:
    struct Column;
    struct Grid;
    struct Dialog;
    QDomElement SetupElement() const;
    void ReadNode(const QDomElement& parent, Dialog* dialog, Grid* grid);
    Grid* FindOrCreateGrid(const QString& dialogId, const QString& gridId);

    QDomDocument m_doc;
    QString m_path;
    QMap<QString, std::shared_ptr<Dialog>> m_dialogs;
};
