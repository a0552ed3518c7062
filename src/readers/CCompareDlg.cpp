#include "readers/CCompareDlg.h"

#include "readers/CDataProgressDlg.h"
#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QPointer>
#include <QVBoxLayout>

namespace {

// "0001234567  Anna Berg" when a person carries the transponder.
QString WithPerson(CStoreDB_Handler& store, const QString& number)
{
    const CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    const int t = transponders->IndexOfNumber(number);
    if (t < 0)
        return number;
    const CtblPerson* persons = store.Get_Ptr_To_tblPerson();
    const int p = persons->IndexOfTransponder(transponders->Get_Transponder(t).ID);
    return p < 0 ? number : number + QStringLiteral("  ") + persons->Get_Person(p).Name;
}

} // namespace

CCompareDlg::CCompareDlg(CStoreDB_Handler& store, const CLanguageHandler* lang, const QString& readerName,
                         const ReaderComparison::Differences& d, QWidget* parent)
    : QDialog(parent)
{
    const auto text = [lang](uint32_t n) { return lang ? lang->GetLangItem(n).trimmed() : QString(); };
    setObjectName(QStringLiteral("CCompareDlg"));
    setWindowTitle(text(347) + QStringLiteral(" - ") + readerName);
    auto* layout = new QVBoxLayout(this);
    auto* summary = new QLabel(text(348).arg(d.inReader).arg(d.inDatabase), this);
    summary->setObjectName(QStringLiteral("labelSummary"));
    layout->addWidget(summary);
    if (d.Same()) {
        auto* same = new QLabel(text(342), this);
        same->setObjectName(QStringLiteral("labelSame"));
        same->setStyleSheet(QStringLiteral("color: #1a7f37; font-weight: bold;"));
        layout->addWidget(same);
    }
    const auto list = [&](const char* name, uint32_t heading, const QStringList& numbers, const char* colour) {
        if (numbers.isEmpty())
            return;
        auto* label = new QLabel(text(heading), this);
        label->setStyleSheet(QStringLiteral("color: %1; font-weight: bold;").arg(QLatin1String(colour)));
        layout->addWidget(label);
        auto* w = new QListWidget(this);
        w->setObjectName(QLatin1String(name));
        for (const QString& n : numbers)
            w->addItem(WithPerson(store, n));
        layout->addWidget(w);
    };
    list("listOnlyInReader", 343, d.onlyInReader, "#b42318");
    list("listOnlyInDatabase", 344, d.onlyInDatabase, "#9a6700");
    QStringList other;
    if (d.orderDiffers)
        other << text(345);
    for (const ReaderComparison::ParamDiff& p : d.params)
        other << text(346).arg(p.index).arg(p.inReader, p.inDatabase);
    if (!other.isEmpty()) {
        auto* label = new QLabel(other.join(QLatin1Char('\n')), this);
        label->setObjectName(QStringLiteral("labelOther"));
        layout->addWidget(label);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(text(367));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(420, d.Same() ? 140 : 420);
}

CCompareDlg* CCompareDlg::CompareAndShow(CSerialLink& link, CStoreDB_Handler& store, CLanguageHandler* lang,
                                         const QString& readerName, int model, QWidget* parent)
{
    QPointer<CDataProgressDlg> progress = new CDataProgressDlg(lang);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    CCompareRun run(link, store, lang);
    QObject::connect(&run, &CCompareRun::ProgressStarted, progress, [progress](const QString& label, int maximum) {
        progress->SetText(label);
        progress->SetRange(0, maximum);
    });
    QObject::connect(&run, &CCompareRun::Progress, progress, [progress](int position) { progress->SetPos(position); });
    // The error message of a failed reading comes without the progress window and the wait cursor.
    QObject::connect(&run, &CCompareRun::ProgressEnded, &run, [progress] {
        if (progress)
            progress->Destroy();
        QGuiApplication::restoreOverrideCursor();
    });
    const CCompareRun::Result result = run.Run(readerName, model);
    if (result != CCompareRun::Done)
        return nullptr;
    auto* dlg = new CCompareDlg(store, lang, readerName, run.Differences(), parent);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowFlag(Qt::Window);
    dlg->show();
    return dlg;
}
