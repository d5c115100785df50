#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

// Several Qt Test classes of one subsystem in one executable: each file registers its class
// with BRIVET_TEST_CLASS and TestMain.cpp runs them in turn (or the one named first on the
// command line: `tst_store TestModelContext fetch`). A child role, registered with the name of
// an environment variable, is run instead when that variable is set: a child process a test
// starts and controls.
namespace brivet::test {

struct Registration
{
    using Make = std::function<std::unique_ptr<QObject>()>;
    using Child = std::function<int(const QString& value)>;
    struct Entry
    {
        const char* name;
        Make make;
        Child child;
    };
    static std::vector<Entry>& all()
    {
        static std::vector<Entry> entries;
        return entries;
    }
    Registration(const char* name, Make make) { all().push_back({name, std::move(make), {}}); }
    Registration(const char* variable, Child child)
    {
        all().push_back({variable, {}, std::move(child)});
    }
};

} // namespace brivet::test

#define BRIVET_TEST_CLASS(Class)                                                                   \
    static const brivet::test::Registration brivetRegistration##Class(                             \
        #Class, brivet::test::Registration::Make([] { return std::make_unique<Class>(); }));
