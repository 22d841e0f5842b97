#include <QCoreApplication>
#include <cstdio>

#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return corvane::RunCommandLine(QCoreApplication::arguments().mid(1), stdout, stderr);
}
