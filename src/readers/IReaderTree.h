#pragma once
// What the reader operations change in the reader tree: the reader's child nodes under the
// three reader groups (transponders, persons, events). The tree view implements it; the core
// operations only call it, so they stay free of widgets and tests can record the calls.
#include <QString>

class IReaderTree {
public:
    virtual ~IReaderTree() = default;
    // Adds the name as the last child of each of the three groups and expands them.
    virtual void AddReaderNodes(const QString& name) = 0;
    // In each group, the first child with the old name gets the new name.
    virtual void RenameReaderNodes(const QString& oldName, const QString& newName) = 0;
    // Removes the children with that name from the three groups.
    virtual void RemoveReaderNodes(const QString& name) = 0;
    // Removes every child of the three groups.
    virtual void RemoveAllReaderNodes() = 0;
};
