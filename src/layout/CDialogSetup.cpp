#include "layout/CDialogSetup.h"

#include "base/Paths.h"
#include "base/Prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>

struct CDialogSetup::Column {
    QString id;
    int width = -1;
    QDomElement element;
};

struct CDialogSetup::Grid {
    QString id;
    Dialog* dialog = nullptr;
    int headerHeight = -1;
    int rowHeight = -1;
    QDomElement element;
    QMap<QString, std::shared_ptr<Column>> columns;
};

struct CDialogSetup::Dialog {
    QString id;
    QDomElement element;
    std::list<std::shared_ptr<Grid>> grids;
};

namespace {

// Numbers are read like the C library's atoi: leading digits, 0 if there are none.
int ToInt(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+'))
        negative = t[i++] == u'-';
    long long n = 0;
    for (; i < t.size() && t[i].isDigit(); ++i)
        n = std::min<long long>(n * 10 + t[i].digitValue(), INT32_MAX);
    return static_cast<int>(negative ? -n : n);
}

// The layout needs four levels of elements. A file nested far deeper is no layout, and reading
// it would walk that deep (the document's own code as well as ours) until the stack runs out.
constexpr int kMaxDepth = 256;

// The line of the first element nested deeper than kMaxDepth, or 0 when none is (or the text
// is not well-formed, which the document's parser reports in its own words).
qint64 TooDeepAt(const QByteArray& content)
{
    // Every level opens with a "<" (an entity's elements too, in its declaration), so a text
    // with few of them needs no walk.
    if (content.count('<') <= kMaxDepth)
        return 0;
    QXmlStreamReader xml(content);
    int depth = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > kMaxDepth)
            return xml.lineNumber();
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return 0;
}

// The line of the first control character XML does not allow (all below 0x20 but tab, line
// feed and carriage return), or 0 when there is none. The document's parser lets some through,
// and a document holding one is saved in a form that no longer reads back.
qint64 ForbiddenCharacterAt(const QByteArray& content)
{
    qint64 line = 1;
    for (const char c : content) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\n')
            ++line;
        else if (b < 0x20 && b != '\t' && b != '\r')
            return line;
    }
    return 0;
}

QString AttributeOr(const QDomElement& e, const QString& name, const QString& fallback)
{
    return e.hasAttribute(name) ? e.attribute(name) : fallback;
}

} // namespace

CDialogSetup::CDialogSetup() = default;
CDialogSetup::~CDialogSetup() = default;

QString CDialogSetup::LayoutPath(const QString& fileName)
{
    // Beside the program when it may write there (the build folder, a portable copy).
    const QFileInfo besideDir(QDir(Paths::ProgramDir()).filePath(QStringLiteral("SysFiles")));
    const QFileInfo beside(QDir(besideDir.filePath()).filePath(fileName));
    if (besideDir.isDir() && besideDir.isWritable() && (!beside.exists() || beside.isWritable()))
        return beside.filePath();
    // An installed program: the user's own copy, started from the package's default if any.
    const QString own = QDir(Paths::ConfigDir()).filePath(fileName);
    if (!QFileInfo::exists(own) && QDir().mkpath(Paths::ConfigDir())) {
        const QString shipped = QDir(Paths::ShareDir() + QStringLiteral("/SysFiles")).filePath(fileName);
        if (QFileInfo(shipped).isFile() && QFile::copy(shipped, own))
            QFile::setPermissions(own, QFile::permissions(own) | QFileDevice::WriteOwner);
    }
    return own;
}

int CDialogSetup::OpenFile(const QString& fileName)
{
    const QString path = LayoutPath(fileName);
    if (!QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("<dialogsetup></dialogsetup>") != 27) {
            ShowError(QStringLiteral("CDialogSetup::OpenFile: Fehler beim Anlegen des XML-Files_1"));
            return 0;
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowError(QStringLiteral("CDialogSetup::OpenFile: Fehler beim Öffnen des XML-Files_2"));
        return 0;
    }
    QString reason;
    int line = 0;
    if (!Load(file.readAll(), &reason, &line)) {
        ShowWarning(QStringLiteral("Fehler beim Parsen von: %1 in Zeile: %2. Begründung: %3")
                        .arg(QUrl::fromLocalFile(path).toString())
                        .arg(line)
                        .arg(reason));
        return 0;
    }
    m_path = path;
    return 1;
}

int CDialogSetup::Load(const QByteArray& content, QString* reason, int* line)
{
    QDomDocument doc;
    QString why;
    int at = 0;
    int column = 0;
    bool parsed = false;
    if (const qint64 bad = ForbiddenCharacterAt(content)) {
        why = QStringLiteral("a control character XML does not allow");
        at = int(bad);
    } else if (const qint64 deep = TooDeepAt(content)) {
        why = QStringLiteral("elements nested deeper than %1 levels").arg(kMaxDepth);
        at = int(deep);
    } else {
        parsed = doc.setContent(content, &why, &at, &column);
        if (!parsed && why.isEmpty())
            why = QStringLiteral("not a well-formed XML document");
        // The layout is written back at exit and must read again at the next start. The parser
        // lets a few odd forms through (a processing instruction "<?@?>") that it refuses once
        // written back, so what would not read back is refused now.
        if (parsed && !QDomDocument().setContent(doc.toByteArray(2))) {
            parsed = false;
            why = QStringLiteral("a form that does not read back once saved");
            at = 1;
        }
    }
    if (!parsed) {
        if (reason)
            *reason = why;
        if (line)
            *line = at;
        return 0;
    }
    m_doc = doc;
    m_dialogs.clear();
    const QDomElement root = SetupElement();
    if (!root.isNull())
        ReadNode(root, nullptr, nullptr);
    return 1;
}

QByteArray CDialogSetup::Content() const
{
    return m_doc.toByteArray(2);
}

// The container is looked up wherever it sits in the document, not only as its root.
QDomElement CDialogSetup::SetupElement() const
{
    const QDomElement root = m_doc.documentElement();
    if (root.tagName() == QLatin1String("dialogsetup"))
        return root;
    return m_doc.elementsByTagName(QStringLiteral("dialogsetup")).item(0).toElement();
}

void CDialogSetup::ReadNode(const QDomElement& parent, Dialog* dialog, Grid* grid)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const QString tag = e.tagName();
        if (tag == QLatin1String("dialog")) {
            auto d = std::make_shared<Dialog>();
            d->id = e.attribute(QStringLiteral("id"));
            d->element = e;
            m_dialogs.insert(d->id, d);
            ReadNode(e, d.get(), nullptr);
        } else if (tag == QLatin1String("grid") && dialog && !grid) {
            auto g = std::make_shared<Grid>();
            g->id = e.attribute(QStringLiteral("id"));
            g->dialog = dialog;
            g->headerHeight = ToInt(AttributeOr(e, QStringLiteral("headerheight"), QStringLiteral("-1")));
            g->rowHeight = ToInt(AttributeOr(e, QStringLiteral("rowheight"), QStringLiteral("-1")));
            g->element = e;
            dialog->grids.push_back(g);
            ReadNode(e, dialog, g.get());
        } else if (tag == QLatin1String("column") && grid) {
            auto c = std::make_shared<Column>();
            c->id = e.attribute(QStringLiteral("id"));
            c->width = ToInt(e.attribute(QStringLiteral("width")));
            c->element = e;
            grid->columns.insert(c->id, c);
        }
    }
}

void CDialogSetup::SaveFile()
{
    if (m_path.isEmpty())
        return;
    // Written to a temporary file and renamed, so a failing disk never leaves half a file.
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(Content());
        file.commit();
    }
    m_path.clear();
}

int CDialogSetup::ReadGridHeight(const QString& dialogId, const QString& gridId, int which) const
{
    const auto d = m_dialogs.value(dialogId);
    if (!d)
        return -1;
    for (const auto& g : d->grids)
        if (g->id == gridId)
            return which == 1 ? g->headerHeight : g->rowHeight;
    return -1;
}

int CDialogSetup::ReadColumnWidth(const QString& dialogId, const QString& gridId, int columnId) const
{
    const auto d = m_dialogs.value(dialogId);
    if (!d)
        return -1;
    for (const auto& g : d->grids)
        if (g->id == gridId) {
            const auto c = g->columns.value(QString::number(columnId));
            return c ? c->width : -1;
        }
    return -1;
}

CDialogSetup::Grid* CDialogSetup::FindOrCreateGrid(const QString& dialogId, const QString& gridId)
{
    QDomElement root = SetupElement();
    if (root.isNull()) {
        // A document without a container (never opened, or a foreign root): give it one,
        // so the sizes still have a place to live.
        root = m_doc.createElement(QStringLiteral("dialogsetup"));
        if (m_doc.documentElement().isNull())
            m_doc.appendChild(root);
        else
            m_doc.documentElement().appendChild(root);
    }
    auto d = m_dialogs.value(dialogId);
    if (!d) {
        d = std::make_shared<Dialog>();
        d->id = dialogId;
        d->element = m_doc.createElement(QStringLiteral("dialog"));
        d->element.setAttribute(QStringLiteral("id"), dialogId);
        root.appendChild(d->element);
        m_dialogs.insert(dialogId, d);
    }
    for (const auto& g : d->grids)
        if (g->id == gridId)
            return g.get();
    auto g = std::make_shared<Grid>();
    g->id = gridId;
    g->dialog = d.get();
    g->element = m_doc.createElement(QStringLiteral("grid"));
    g->element.setAttribute(QStringLiteral("id"), gridId);
    d->element.appendChild(g->element);
    d->grids.push_back(g);
    return g.get();
}

void CDialogSetup::StoreGridHeight(const QString& dialogId, const QString& gridId, int which, int value)
{
    Grid* g = FindOrCreateGrid(dialogId, gridId);
    if (which == 0) {
        g->rowHeight = value;
        g->element.setAttribute(QStringLiteral("rowheight"), QString::number(value));
    } else {
        g->headerHeight = value;
        g->element.setAttribute(QStringLiteral("headerheight"), QString::number(value));
    }
}

void CDialogSetup::StoreColumnWidth(const QString& dialogId, const QString& gridId, int columnId, int width)
{
    Grid* g = FindOrCreateGrid(dialogId, gridId);
    const QString id = QString::number(columnId);
    auto c = g->columns.value(id);
    if (!c) {
        c = std::make_shared<Column>();
        c->id = id;
        c->element = m_doc.createElement(QStringLiteral("column"));
        c->element.setAttribute(QStringLiteral("id"), id);
        g->element.appendChild(c->element);
        g->columns.insert(id, c);
    }
    c->width = width;
    c->element.setAttribute(QStringLiteral("width"), QString::number(width));
}
