#include "support/TestMain.h"

#include <QTest>
#ifdef QT_GUI_LIB
#include <QGuiApplication>
using Application = QGuiApplication;
#else
using Application = QCoreApplication;
#endif
#include <cstring>

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    const auto& entries = brivet::test::Registration::all();
    for (const auto& entry : entries) {
        if (entry.child && qEnvironmentVariableIsSet(entry.name))
            return entry.child(qEnvironmentVariable(entry.name));
    }
    const bool oneClass = argc > 1 && std::strncmp(argv[1], "Test", 4) == 0;
    int status = oneClass ? 1 : 0;
    for (const auto& entry : entries) {
        if (!entry.make || (oneClass && std::strcmp(argv[1], entry.name) != 0))
            continue;
        const std::unique_ptr<QObject> test = entry.make();
        if (oneClass)
            return QTest::qExec(test.get(), argc - 1, (argv[1] = argv[0], argv + 1));
        status |= QTest::qExec(test.get(), argc, argv);
    }
    if (oneClass)
        qWarning("no test class %s here", argv[1]);
    return status;
}
