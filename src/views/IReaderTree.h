#pragma once
// What the reader table, the table views and the reader operations need of the reader tree:
// the reader's child nodes under the three reader groups (transponders, persons, events), and
// the serial link the tree carries. The tree view implements it; everything below the tree
// reaches it only through this interface, so it stays free of the tree's widgets and tests can
// record the calls.
#include <QString>

class CSerialLink;

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
    // The store's lists were read again (F5) and may hold readers and schedules another
    // station added or deleted: the tree shows them as they are now.
    virtual void ListsReloaded() {}

    // ---- the link the tree carries (defaults: no link, for trees that have none) ----
    virtual CSerialLink* Link() const { return nullptr; }
    // Starts a connection attempt (nothing when the port is open already). 0 when an attempt
    // was started; non-zero when the port is open already (or the attempt could not start).
    virtual int StartConnectWorker() { return 0; }
    virtual int CloseComPort() { return 0; }
    // Whether the next reader that comes online is to be registered.
    virtual void SetRegisterOnConnect(int on) { (void)on; }
    virtual int RegisterOnConnect() const { return 0; }
};
