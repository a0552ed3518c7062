#include "records/RecordOps.h"

#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"

namespace RecordOpsDetail {

void ShowOpenFailed(CStoreDB_Handler* store)
{
    CLanguageHandler* lang = store ? store->GetLanguageHandler() : nullptr;
    const QString text = lang ? lang->GetLangItem(83) + QLatin1Char('\n') + lang->GetLangItem(84) : QStringLiteral("\n");
    ShowError(text);
}

void ShowStoreError(const CDBException& e, PromptIcon icon)
{
    Prompt().Message(e.m_strError, PromptCaption(), icon);
}

} // namespace RecordOpsDetail
