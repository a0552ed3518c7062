#include "params/CParamBirchDlg.h"

#include "params/CCheckMTransDlg.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

CParamBirchDlg::CParamBirchDlg(const ParamSupport::Context& ctx, const structLeser& reader, QWidget* parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_core(ctx, reader)
{
    setObjectName(QStringLiteral("CParamBirchDlg"));
    setWindowTitle(T(140));

    // ---- master transponder ----
    auto* masterGroup = new QGroupBox(T(150), this);
    masterGroup->setObjectName(QStringLiteral("1009"));
    m_master = new QLineEdit(masterGroup);
    m_master->setObjectName(QStringLiteral("1018"));
    m_master->setReadOnly(true);
    m_new = new QPushButton(T(145), masterGroup);
    m_new->setObjectName(QStringLiteral("1019"));
    m_new->setAutoDefault(false);
    auto* masterLayout = new QHBoxLayout(masterGroup);
    masterLayout->addWidget(m_master, 1);
    masterLayout->addWidget(m_new);

    // ---- settings ----
    auto* settings = new QGroupBox(T(151), this);
    settings->setObjectName(QStringLiteral("1010"));
    m_standalone = new QRadioButton(T(147), settings);
    m_standalone->setObjectName(QStringLiteral("1011"));
    m_readHead = new QRadioButton(T(148), settings);
    m_readHead->setObjectName(QStringLiteral("1012"));
    auto* switchLabel = new QLabel(T(149), settings);
    switchLabel->setObjectName(QStringLiteral("1016"));
    m_switch = new QLineEdit(settings);
    m_switch->setObjectName(QStringLiteral("1015"));
    m_switch->setMaximumWidth(60);
    auto* unit = new QLabel(T(127), settings);
    unit->setObjectName(QStringLiteral("1065"));
    m_active = new QCheckBox(T(146), settings);
    m_active->setObjectName(QStringLiteral("1017"));
    auto* settingsLayout = new QGridLayout(settings);
    settingsLayout->addWidget(m_standalone, 0, 0, 1, 2);
    settingsLayout->addWidget(m_readHead, 0, 2, 1, 2);
    settingsLayout->addWidget(switchLabel, 1, 0);
    settingsLayout->addWidget(m_switch, 1, 1);
    settingsLayout->addWidget(unit, 1, 2);
    settingsLayout->addWidget(m_active, 1, 3);

    // ---- buttons, progress and status ----
    m_dbButton = new QPushButton(T(143), this);
    m_dbButton->setObjectName(QStringLiteral("1064"));
    m_dbButton->setAutoDefault(false);
    m_readerButton = new QPushButton(T(138), this);
    m_readerButton->setObjectName(QStringLiteral("3"));
    m_readerButton->setAutoDefault(false);
    auto* close = new QPushButton(T(144), this);
    close->setObjectName(QStringLiteral("2"));
    close->setAutoDefault(false);
    connect(m_new, &QPushButton::clicked, this, &CParamBirchDlg::OnNewMaster);
    connect(m_dbButton, &QPushButton::clicked, this, &CParamBirchDlg::OnUpdateDatabase);
    connect(m_readerButton, &QPushButton::clicked, this, &CParamBirchDlg::OnUpdateReader);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_dbButton);
    buttons->addWidget(m_readerButton);
    buttons->addStretch();
    buttons->addWidget(close);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("1034"));
    m_progress->setRange(0, BirchParams::kTeachWaits);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_status = new QLabel(T(172), this);
    m_status->setObjectName(QStringLiteral("1032"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(masterGroup);
    layout->addWidget(settings);
    layout->addLayout(buttons);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);

    // ---- opening ----
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool answered = m_core.ReadReaderMaster();
    QGuiApplication::restoreOverrideCursor();
    m_readerButton->setEnabled(answered);
    m_new->setEnabled(answered);
    m_dbButton->setEnabled(ParamSupport::OnlineTableReadable(m_ctx.store));

    const BirchParams::Opening o = m_core.OpeningState();
    m_switch->setText(o.switchTime);
    m_standalone->setChecked(o.standalone);
    m_readHead->setChecked(!o.standalone);
    m_active->setChecked(o.active);
    m_master->setText(o.master);
    if (o.choose)
        QTimer::singleShot(kChoiceDelayMs, this, [this] {
            // Queued, so that the dialog is on screen before the question comes up.
            QMetaObject::invokeMethod(this, &CParamBirchDlg::ChooseMaster, Qt::QueuedConnection);
        });
}

QString CParamBirchDlg::T(uint32_t n) const
{
    return ParamSupport::Text(m_ctx, n);
}

QString CParamBirchDlg::ShownMaster() const
{
    return m_master->text();
}

void CParamBirchDlg::ChooseMaster()
{
    CCheckMTransDlg choice(m_core.ReaderMaster(), m_core.DbMaster(), m_ctx.lang, this);
    if (choice.exec() != QDialog::Accepted) {
        m_master->clear();
        return;
    }
    m_master->setText(choice.chosenMaster);
    if (choice.ChoseReader())
        m_core.UseReaderMaster();
    else
        m_core.UseDatabaseMaster();
}

ParamSupport::Feedback CParamBirchDlg::MakeFeedback()
{
    ParamSupport::Feedback f;
    f.range = [this](int lower, int upper) { m_progress->setRange(lower, upper); };
    f.position = [this](int p) {
        m_progress->setValue(p);
        // The teach loop holds this thread; let the bar and the status line paint.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    f.status = [this](uint32_t n) {
        m_status->setText(T(n));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    return f;
}

void CParamBirchDlg::OnNewMaster()
{
    const QString number = m_core.Teach(MakeFeedback());
    if (!number.isEmpty())
        m_master->setText(number);
}

void CParamBirchDlg::OnUpdateDatabase()
{
    QString reset;
    const auto o = m_core.UpdateDatabase(m_standalone->isChecked(), m_active->isChecked(), m_master->text(),
                                         m_switch->text(), &reset);
    if (o == BirchParams::Outcome::Refused && !reset.isEmpty())
        m_switch->setText(reset);
}

void CParamBirchDlg::OnUpdateReader()
{
    QString reset;
    const auto o = m_core.UpdateReader(m_standalone->isChecked(), m_active->isChecked(), m_master->text(),
                                       m_switch->text(), &reset);
    if (o == BirchParams::Outcome::Refused && !reset.isEmpty())
        m_switch->setText(reset);
}
