#pragma once
// The parameter dialog of the bus readers (Maple, Cedar, Rowan): the eight on/off settings of
// the parameter byte, the switching time with its unit, and the PC's date and time, which go
// into the reader with the parameters. "Datenbank aktualisieren" stores in the reader record
// only; "Leser aktualisieren" stores and writes into the reader, which the dialog offers only
// when the reader at the port proved to be this one at opening.
//
// Controls carry their numbers as object names: radios 1037..1060 ("ein"/"aus" of bits 7..0),
// groups 1039..1058, edit 1015, unit list 1014, date 1062, time 1063, buttons 1 (reader),
// 3 (database) and 2 (close).
#include "params/MapleCedarParams.h"

#include <QDialog>
#include <array>

class QComboBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QTimer;

class CParamMaple_CedarDlg : public QDialog {
    Q_OBJECT
public:
    CParamMaple_CedarDlg(const ParamSupport::Context& ctx, const structLeser& reader, QWidget* parent = nullptr);

    uint8_t ParamByte() const { return m_byte; }
    MapleCedarParams& Core() { return m_core; }

    void OnUpdateDatabase();
    void OnUpdateReader();

private:
    struct BitPair {
        int bit;
        int onId, offId, groupId;
        uint32_t groupText;   // 0: follows bit 0 (bit 1's group)
        QGroupBox* group = nullptr;
        QRadioButton* on = nullptr;
        QRadioButton* off = nullptr;
    };
    void OnRadio(BitPair& pair, bool on);
    void ShowBits();
    void Tick();
    QString T(uint32_t n) const;

    ParamSupport::Context m_ctx;
    MapleCedarParams m_core;
    uint8_t m_byte = 0;
    std::array<BitPair, 8> m_bits;
    QLineEdit* m_switch;
    QComboBox* m_unit;
    QDateEdit* m_date;
    QTimeEdit* m_time;
    QPushButton* m_readerButton;
    QPushButton* m_dbButton;
    QTimer* m_clock;
};
