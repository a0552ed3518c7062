#pragma once
// Changes the reader table makes to reader records: deleting one or several readers with
// what refers to them, deleting all readers, and renaming a reader. Widget-free: questions
// and messages go through Prompt(), tree updates through IReaderTree (may be null).
// GUI thread only (they change the cached lists).
#include <QString>
#include <vector>

class CStoreDB_Handler;
class IReaderTree;

namespace ReaderDeletion {

// Deletes the readers at the given reader-cache indices (in any order). Asks text 69 (one)
// or 68 (several); when any of them is a Cedar, Maple or Rowan also asks text 70 whether
// their events go too (No, or only desk readers: the events stay with reader ID 0). Each
// reader's ID leaves every transponder's Readers list, its record leaves the cache at
// index - k (k = readers already removed) and its tree nodes go.
// Returns the number of readers deleted from the table; 0 when the user said No.
int DeleteReaders(CStoreDB_Handler& store, std::vector<int> cacheIndices, IReaderTree* tree);

// Deletes every reader after text 64; text 71 decides whether the events go or stay with
// reader ID 0; every transponder's Readers list becomes empty; the tree's reader nodes go.
// Returns 1 when the readers were deleted, 0 when the user said No or the table could not
// be opened.
int DeleteAllReaders(CStoreDB_Handler& store, IReaderTree* tree);

// Gives the reader at the cache index a new name: in the table (also when the name is
// unchanged), in the cached record, and in the tree. 1 on success.
int RenameReader(CStoreDB_Handler& store, int cacheIndex, const QString& newName, IReaderTree* tree);

} // namespace ReaderDeletion
