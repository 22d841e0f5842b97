// Task parameter files from a backup medium, which may be hostile: reading one never
// crashes and a huge count costs no time.

#include "FuzzSupport.h"
#include "engine/TaskParameterFile.h"
#include "model/TaskRecord.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::DropLogLines();
    const QString path = fuzz::WriteInput(QStringLiteral("Task.TSK"), data, size);
    const QString name = ReadTaskNameFromFile(path);

    TaskRecord task;
    if (ReadTaskParameterFile(task, path)) {
        fuzz::Require(task.name == name, "the task takes the file's name");
        fuzz::Require(task.backupMode >= 1 && task.backupMode <= 3,
                      "only the three methods are read");
        (void)DescribeTask(task);
        for (const SourceItem& item : task.items) {
            (void)DescribeItem(item);
        }
    }
    return 0;
}
