#include "engine/ItemStages.h"

#include "log/Log.h"

namespace corvane {

void RunItemStages(const std::vector<SourceItem>& items, const QString& verb,
                   const ItemStageSet& stages, const std::function<bool()>& mayGoOn) {
    const int count = static_cast<int>(items.size());
    int stage = 1;
    auto run = [&](const char* what, const ItemStage& step, const SourceItem& item,
                   const char* unsupported) {
        SetProgressLabel(QStringLiteral("Stage %1/%2, %3 %4")
                             .arg(stage++)
                             .arg(count)
                             .arg(verb, QLatin1String(what)));
        if (step) {
            step(item);
        } else {
            Log("  Warning: %s are not supported by this version, item '%s' skipped", unsupported,
                qUtf8Printable(DescribeItem(item)));
        }
    };
    for (const SourceItem& item : items) {
        switch (item.kind) {
            case kItemFolder:
            case kItemFile:
                run("files", stages.files, item, "files");
                break;
            case kItemAllContacts:
            case kItemContact:
                run("contacts", stages.contacts, item, "contacts");
                break;
            case kItemRegistryKey:
                run("registry", stages.registry, item, "registry keys");
                break;
            default:
                break;
        }
        if (!mayGoOn()) {
            break;
        }
    }
}

}  // namespace corvane
