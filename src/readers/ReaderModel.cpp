#include "readers/ReaderModel.h"

namespace ReaderModel {

int Decide(const QString& typeText, int previous)
{
    // The order matters only for a text naming two models; it is kept as the table has
    // always decided.
    if (typeText.contains(kBirch))
        return Birch;
    if (typeText.contains(kCedar))
        return Cedar;
    if (typeText.contains(kMaple))
        return Maple;
    if (typeText.contains(kRowan))
        return Rowan;
    if (typeText.contains(kAlder))
        return Alder;
    return previous;
}

QString TypeText(int modelNumber)
{
    switch (modelNumber) {
    case Cedar: return kCedar;
    case Maple: return kMaple;
    case Birch: return kBirch;
    case Alder: return kAlder;
    case Rowan: return kRowan;
    default: return {};
    }
}

bool IsBusReader(int modelNumber)
{
    return modelNumber == Cedar || modelNumber == Maple || modelNumber == Rowan;
}

bool IsBusReaderType(const QString& typeText)
{
    return IsBusReader(Decide(typeText, -1));
}

int FromInterfaceType(int interfaceType)
{
    switch (interfaceType) {
    case 0: return Birch;
    case 1: return Cedar;
    case 2: return Maple;
    case 3: return Alder;
    case 4: return Rowan;
    default: return -1;
    }
}

int ToInterfaceType(int modelNumber)
{
    switch (modelNumber) {
    case Birch: return 0;
    case Cedar: return 1;
    case Maple: return 2;
    case Alder: return 3;
    case Rowan: return 4;
    default: return -1;
    }
}

QString TypeTextOfInterface(int interfaceType)
{
    return TypeText(FromInterfaceType(interfaceType));
}

QString DeskReaderIdentification(int interfaceType)
{
    if (interfaceType == 0)
        return QStringLiteral("KTMQ32");
    if (interfaceType == 3)
        return QStringLiteral("KTMQ31");
    return {};
}

int LastEventNumber(int modelNumber)
{
    switch (modelNumber) {
    case Cedar: return 4999;
    case Maple: return 2899;
    case Rowan: return 3999;
    default: return -1;
    }
}

int TransponderCapacity(int modelNumber)
{
    switch (modelNumber) {
    case Cedar: return 500;
    case Maple: return 100;
    case Rowan: return 1000;
    default: return -1;
    }
}

} // namespace ReaderModel
