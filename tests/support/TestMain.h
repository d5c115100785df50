#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

// Several Qt Test classes of one subsystem in one executable: each file registers its class
// with BRIVET_TEST_CLASS and TestMain.cpp runs them in turn (or the one named first on the
// command line: `tst_store TestModelContext fetch`).
namespace brivet::test {

struct TestClass
{
    const char* name;
    std::function<std::unique_ptr<QObject>()> make;
};
std::vector<TestClass>& testClasses();

// A second role of the test executable, taken when the environment variable is set: a child
// process a test starts and controls.
struct ChildMode
{
    const char* variable;
    std::function<int(const QString& value)> run;
};
std::vector<ChildMode>& childModes();

struct Registration
{
    Registration(TestClass entry) { testClasses().push_back(std::move(entry)); }
    Registration(ChildMode entry) { childModes().push_back(std::move(entry)); }
};

} // namespace brivet::test

#define BRIVET_TEST_CLASS(Class)                                                                   \
    static const brivet::test::Registration brivetRegistration##Class(                             \
        brivet::test::TestClass{#Class, [] {                                                       \
                                    return std::unique_ptr<QObject>(new Class);                    \
                                }});
