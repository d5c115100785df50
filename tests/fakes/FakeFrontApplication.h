#pragma once

#include "platform/FrontApplication.h"

namespace brivet {

// The application in front, as a test sets it. With numberCalls set, every call answers a
// different name ("App 1", "App 2", ...), so a test sees how often it was asked.
class FakeFrontApplication : public FrontApplication
{
public:
    std::optional<ApplicationInfo> frontmostApplication() override
    {
        ++m_calls;
        if (m_numberCalls)
            return ApplicationInfo{QStringLiteral("App %1").arg(m_calls),
                                   QStringLiteral("org.example.app%1").arg(m_calls)};
        return m_application;
    }

    void setApplication(std::optional<ApplicationInfo> application)
    {
        m_application = std::move(application);
    }
    void setNumberCalls(bool numberCalls) { m_numberCalls = numberCalls; }
    int calls() const { return m_calls; }

private:
    std::optional<ApplicationInfo> m_application;
    bool m_numberCalls = false;
    int m_calls = 0;
};

} // namespace brivet
