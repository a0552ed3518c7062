#include "params/CParamMaple_CedarDlg.h"

#include "base/Prompt.h"
#include "texts/CLanguageHandler.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

using namespace ParamCodes;

CParamMaple_CedarDlg::CParamMaple_CedarDlg(const ParamSupport::Context& ctx, const structLeser& reader,
                                           QWidget* parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_core(ctx, reader)
    , m_bits{{{7, 1037, 1038, 1039, 128},
              {6, 1041, 1042, 1040, 129},
              {5, 1044, 1045, 1043, 130},
              {4, 1047, 1048, 1046, 131},
              {3, 1050, 1051, 1049, 132},
              {2, 1053, 1054, 1052, 133},
              {1, 1056, 1057, 1055, 0},
              {0, 1059, 1060, 1058, 136}}}
{
    setObjectName(QStringLiteral("CParamMaple_CedarDlg"));
    setWindowTitle(T(139));

    // ---- the eight settings, two columns of four ----
    auto* bitsLayout = new QGridLayout;
    for (size_t i = 0; i < m_bits.size(); ++i) {
        BitPair& p = m_bits[i];
        p.group = new QGroupBox(this);
        p.group->setObjectName(QString::number(p.groupId));
        const bool bit0 = p.bit == 0;
        p.on = new QRadioButton(bit0 ? QString() : T(124), p.group);
        p.on->setObjectName(QString::number(p.onId));
        p.off = new QRadioButton(bit0 ? QString() : T(125), p.group);
        p.off->setObjectName(QString::number(p.offId));
        auto* row = new QHBoxLayout(p.group);
        row->addWidget(p.on);
        row->addWidget(p.off);
        row->addStretch();
        connect(p.on, &QRadioButton::clicked, this, [this, i] { OnRadio(m_bits[i], true); });
        connect(p.off, &QRadioButton::clicked, this, [this, i] { OnRadio(m_bits[i], false); });
        bitsLayout->addWidget(p.group, int(i % 4), int(i / 4));
    }

    // ---- date, time and switching time ----
    auto* timeGroup = new QGroupBox(T(137), this);
    timeGroup->setObjectName(QStringLiteral("1008"));
    m_date = new QDateEdit(QDate::currentDate(), timeGroup);
    m_date->setObjectName(QStringLiteral("1062"));
    m_date->setEnabled(false);
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_time = new QTimeEdit(QTime::currentTime(), timeGroup);
    m_time->setObjectName(QStringLiteral("1063"));
    m_time->setEnabled(false);
    m_time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_switch = new QLineEdit(timeGroup);
    m_switch->setObjectName(QStringLiteral("1015"));
    m_unit = new QComboBox(timeGroup);
    m_unit->setObjectName(QStringLiteral("1014"));
    m_unit->addItem(T(kUnitText[UnitSeconds]));
    m_unit->addItem(T(kUnitText[UnitOther]));
    auto* timeLayout = new QGridLayout(timeGroup);
    timeLayout->addWidget(m_date, 0, 0);
    timeLayout->addWidget(m_time, 0, 1);
    timeLayout->addWidget(m_switch, 1, 0);
    timeLayout->addWidget(m_unit, 1, 1);

    // ---- buttons ----
    m_readerButton = new QPushButton(T(138), this);
    m_readerButton->setObjectName(QStringLiteral("1"));
    m_readerButton->setAutoDefault(false);
    m_dbButton = new QPushButton(T(143), this);
    m_dbButton->setObjectName(QStringLiteral("3"));
    m_dbButton->setAutoDefault(false);
    auto* close = new QPushButton(T(144), this);
    close->setObjectName(QStringLiteral("2"));
    close->setAutoDefault(false);
    connect(m_readerButton, &QPushButton::clicked, this, &CParamMaple_CedarDlg::OnUpdateReader);
    connect(m_dbButton, &QPushButton::clicked, this, &CParamMaple_CedarDlg::OnUpdateDatabase);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_readerButton);
    buttons->addWidget(m_dbButton);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bitsLayout);
    layout->addWidget(timeGroup);
    layout->addLayout(buttons);

    // ---- opening: who is at the port, what the record holds ----
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool writable = m_core.ReadIdentity();
    QGuiApplication::restoreOverrideCursor();
    m_readerButton->setEnabled(writable);
    m_dbButton->setEnabled(ParamSupport::OnlineTableReadable(m_ctx.store));

    m_clock = new QTimer(this);
    m_clock->setInterval(1000);
    connect(m_clock, &QTimer::timeout, this, &CParamMaple_CedarDlg::Tick);
    m_clock->start();

    const SwitchDisplay sw = m_core.StoredSwitch();
    m_unit->setCurrentIndex(sw.unit);
    m_switch->setText(sw.value);

    m_byte = m_core.StoredParamByte();
    ShowBits();
}

QString CParamMaple_CedarDlg::T(uint32_t n) const
{
    return ParamSupport::Text(m_ctx, n);
}

void CParamMaple_CedarDlg::ShowBits()
{
    for (BitPair& p : m_bits) {
        const bool on = m_byte & (1u << p.bit);
        p.on->setChecked(on);
        p.off->setChecked(!on);
        p.group->setTitle(T(p.groupText ? p.groupText : Bit1GroupText(m_byte)));
    }
}

void CParamMaple_CedarDlg::OnRadio(BitPair& pair, bool on)
{
    const uint8_t mask = uint8_t(1u << pair.bit);
    if (on && IsExcludedBit(m_byte, pair.bit)) {
        ShowError(T(247));
        pair.off->setChecked(true);
        return;
    }
    m_byte = on ? uint8_t(m_byte | mask) : uint8_t(m_byte & ~mask);
    if (pair.bit == 0)
        m_bits[6].group->setTitle(T(Bit1GroupText(m_byte)));
}

void CParamMaple_CedarDlg::Tick()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_date->setDate(now.date());
    m_time->setTime(now.time());
}

void CParamMaple_CedarDlg::OnUpdateDatabase()
{
    m_core.UpdateDatabase(m_byte, m_switch->text(), m_unit->currentIndex());
}

void CParamMaple_CedarDlg::OnUpdateReader()
{
    ParamSupport::Feedback feedback;
    feedback.busy = [](bool on) {
        // Called once on, once off.
        if (on)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    };
    m_core.UpdateReader(m_byte, m_switch->text(), m_unit->currentIndex(), feedback);
}
