// Helpers shared by the native tests.
#pragma once

#include "core/props.h"
#include "core/utils.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace mirel::test
{

// A fresh property store holding only the unattended-run pins that are given (null: absent).
inline void PinRate(const char* fixedFps, const char* sweep)
{
    ClearProperties();
    if (fixedFps) SetPropertyFloat("debug.fixedFps", std::strtof(fixedFps, nullptr));
    if (sweep) SetPropertyString("debug.sweep", sweep);
}

// Silences and counts the reports made while it lives.
class ReportCapture
{
  public:
    ReportCapture()
    {
        SetAssertEcho(false);
        ResetAssertReports();
    }
    ~ReportCapture() { SetAssertEcho(true); }
    int Count() const { return AssertReportCount(); }
    std::string Last() const
    {
        char buf[2048];
        return LastAssertMessage(buf, sizeof buf);
    }
};

// A scratch file removed with the object.
class TempFile
{
  public:
    explicit TempFile(const std::string& content)
    {
        char name[] = "/tmp/mirel-test-XXXXXX";
        int fd = mkstemp(name);
        path_ = name;
        if (fd < 0) return;
        if (!content.empty()) (void)!write(fd, content.data(), content.size());
        close(fd);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* Path() const { return path_.c_str(); }

  private:
    std::string path_;
};

} // namespace mirel::test
