#pragma once
// A test's store handler as the owner a restore deletes and makes again (on the database the
// settings name), as the application object does for the window.
#include "exchange/DatabaseBackup.h"
#include "records/CStoreDB_Handler.h"

#include <memory>

namespace VmTest {

inline DatabaseBackup::StoreOwner OwnerOf(std::unique_ptr<CStoreDB_Handler>& store, CLanguageHandler* lang)
{
    DatabaseBackup::StoreOwner o;
    o.current = [&store] { return store.get(); };
    o.release = [&store] { store.reset(); };
    o.recreate = [&store, lang] {
        store = std::make_unique<CStoreDB_Handler>(lang);
        return store.get();
    };
    return o;
}

// The same for a store on a database of its own rather than the one the settings name.
inline DatabaseBackup::StoreOwner OwnerOf(std::unique_ptr<CStoreDB_Handler>& store, CLanguageHandler* lang,
                                          const StoreLocation& at)
{
    DatabaseBackup::StoreOwner o = OwnerOf(store, lang);
    o.recreate = [&store, lang, at] {
        store = std::make_unique<CStoreDB_Handler>(lang, at);
        return store.get();
    };
    return o;
}

} // namespace VmTest
