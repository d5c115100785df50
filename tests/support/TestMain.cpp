#include "support/TestMain.h"

#include <QTest>
#ifdef QT_GUI_LIB
#include <QGuiApplication>
#else
#include <QCoreApplication>
#endif
#include <cstdio>
#include <cstring>

namespace brivet::test {

std::vector<TestClass>& testClasses()
{
    static std::vector<TestClass> classes;
    return classes;
}

std::vector<ChildMode>& childModes()
{
    static std::vector<ChildMode> modes;
    return modes;
}

} // namespace brivet::test

int main(int argc, char* argv[])
{
#ifdef QT_GUI_LIB
    QGuiApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    using namespace brivet::test;
    for (const ChildMode& child : childModes()) {
        if (qEnvironmentVariableIsSet(child.variable))
            return child.run(qEnvironmentVariable(child.variable));
    }
    const bool oneClass = argc > 1 && std::strncmp(argv[1], "Test", 4) == 0;
    int status = 0;
    for (const TestClass& entry : testClasses()) {
        if (oneClass && std::strcmp(argv[1], entry.name) != 0)
            continue;
        std::unique_ptr<QObject> test = entry.make();
        if (!oneClass) {
            status |= QTest::qExec(test.get(), argc, argv);
            continue;
        }
        argv[1] = argv[0];
        return QTest::qExec(test.get(), argc - 1, argv + 1);
    }
    if (oneClass)
        std::fprintf(stderr, "no test class %s here\n", argv[1]);
    return oneClass ? 1 : status;
}
