#include "engine/ItemStages.h"

#include "log/Log.h"

namespace corvane {

void RunItemStages(const std::vector<SourceItem>& items, const QString& verb,
                   const std::function<void(const SourceItem&)>& filesStage,
                   const std::function<bool()>& mayGoOn) {
    const int count = static_cast<int>(items.size());
    int stage = 1;
    auto label = [&](const char* what) {
        SetProgressLabel(QStringLiteral("Stage %1/%2, %3 %4")
                             .arg(stage++)
                             .arg(count)
                             .arg(verb, QLatin1String(what)));
    };
    for (const SourceItem& item : items) {
        switch (item.kind) {
            case kItemFolder:
            case kItemFile:
                label("files");
                filesStage(item);
                break;
            case kItemAllContacts:
            case kItemContact:
                label("contacts");
                Log("  Warning: contacts are not supported by this version, item '%s' skipped",
                    qUtf8Printable(DescribeItem(item)));
                break;
            case kItemRegistryKey:
                label("registry");
                Log("  Warning: registry keys are not supported by this version, item '%s' skipped",
                    qUtf8Printable(item.path));
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
