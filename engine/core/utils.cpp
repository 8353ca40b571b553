#include "core/utils.h"
#include "core/sys.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace mirel
{

namespace
{
constexpr int kMessageSize = 2048;

std::atomic<int> g_reportCount{0};
std::atomic<bool> g_echo{true};
std::atomic<AssertPreReportHook> g_preReportHook{nullptr};
// Only touched on a failed check; both the message and the update thread report.
std::mutex g_lastMutex;
char g_lastMessage[kMessageSize];

char g_narrowRing[50][256];
char16_t g_wideRing[50][256];
std::atomic<uint32_t> g_narrowCounter{0};
std::atomic<uint32_t> g_wideCounter{0};

char g_assetRoot[1024];

void CopyBounded(char* dst, int capacity, const char* src)
{
    if (capacity < 1) return;
    int n = 0;
    if (src)
        while (n < capacity - 1 && src[n])
            ++n;
    std::memcpy(dst, src ? src : "", static_cast<size_t>(n));
    dst[n] = '\0';
}

struct Appender
{
    char* out;
    int capacity;
    int length = 0;

    void Put(const char* text, int n)
    {
        int room = capacity - 1 - length;
        if (n > room) n = room;
        if (n <= 0) return;
        std::memcpy(out + length, text, static_cast<size_t>(n));
        length += n;
        out[length] = '\0';
    }
    void Put(const char* text) { Put(text, static_cast<int>(std::strlen(text))); }
};
} // namespace

int FormatRestricted(char* out, int capacity, int reportLine, const char* format, va_list args)
{
    if (!out || capacity < 1) return 0;
    out[0] = '\0';
    if (!format) return 0;
    Appender result{out, capacity};
    // Literal runs are gathered up to 255 characters, then flushed, so long texts survive.
    char run[256];
    int runLength = 0;
    auto flush = [&]
    {
        result.Put(run, runLength);
        runLength = 0;
    };
    for (const char* p = format; *p; ++p)
    {
        if (*p != '%')
        {
            if (runLength == 255) flush();
            run[runLength++] = *p;
            continue;
        }
        flush();
        char conv = p[1];
        char number[64];
        if (conv == 'd')
        {
            std::snprintf(number, sizeof number, "%d", va_arg(args, int32_t));
            result.Put(number);
        }
        else if (conv == 'f')
        {
            std::snprintf(number, sizeof number, "%f",
                          static_cast<double>(static_cast<float>(va_arg(args, double))));
            result.Put(number);
        }
        else if (conv == 's')
        {
            const char* s = va_arg(args, const char*);
            result.Put(s ? s : "");
        }
        else
        {
            // The text holds conversions itself, so it travels as an argument.
            MIREL_ASSERT(false, reportLine, "%s", "Mirel strings only support %s, %d, %f");
        }
        if (conv == '\0') break; // a trailing '%' has nothing to consume
        ++p;
    }
    flush();
    return result.length;
}

void Assert(bool condition, const char* file, int line, const char* format, ...)
{
    if (condition) return;
    if (AssertPreReportHook hook = g_preReportHook.load()) hook();

    char message[kMessageSize];
    Appender text{message, kMessageSize};
    message[0] = '\0';
    text.Put("\n\n");
    if (file)
    {
        char where[512];
        std::snprintf(where, sizeof where, "file: %s, line: %d \n\n", file, line);
        text.Put(where);
    }
    if (!format) return;
    va_list args;
    va_start(args, format);
    text.length += FormatRestricted(message + text.length, kMessageSize - text.length, 533, format, args);
    va_end(args);

    g_reportCount.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(g_lastMutex);
        CopyBounded(g_lastMessage, kMessageSize, message);
    }
#ifdef _WIN32
    const bool toStderr = sys::EnvironmentFlag("MIREL_ASSERT_STDERR");
#else
    const bool toStderr = true;
#endif
    if (toStderr)
    {
        if (g_echo.load()) std::fprintf(stderr, "MIREL ERROR%s\n", message);
        std::fflush(stderr);
    }
    else
    {
        sys::ShowErrorBox("MIREL ERROR", message);
    }
}

SourceName::SourceName(const char* path)
{
    name_[0] = '\0';
    if (!path) return;
    // The last "engine" folder in the path, so that a checkout inside another "engine" works.
    const char* start = nullptr;
    for (const char* p = path; *p; ++p)
        if ((*p == '/' || *p == '\\') && std::strncmp(p + 1, "engine", 6) == 0 &&
            (p[7] == '/' || p[7] == '\\'))
            start = p + 8;
    if (!start)
    {
        start = path;
        for (const char* p = path; *p; ++p)
            if (*p == '/' || *p == '\\') start = p + 1;
    }
    size_t n = 0;
    for (; start[n] && n + 1 < sizeof name_; ++n)
        name_[n] = start[n] == '\\' ? '/' : start[n];
    name_[n] = '\0';
    // Drop the extension of the last component only.
    for (size_t i = n; i-- > 0 && name_[i] != '/';)
        if (name_[i] == '.')
        {
            name_[i] = '\0';
            break;
        }
}

int AssertReportCount()
{
    return g_reportCount.load();
}

void ResetAssertReports()
{
    g_reportCount.store(0);
    std::lock_guard<std::mutex> lock(g_lastMutex);
    g_lastMessage[0] = '\0';
}

const char* LastAssertMessage(char* out, int capacity)
{
    std::lock_guard<std::mutex> lock(g_lastMutex);
    CopyBounded(out, capacity, g_lastMessage);
    return out;
}

void SetAssertEcho(bool echo)
{
    g_echo.store(echo);
}
void SetAssertPreReportHook(AssertPreReportHook hook)
{
    g_preReportHook.store(hook);
}

bool TraceEnabled()
{
    static const bool enabled = sys::EnvironmentFlag("MIREL_TRACE");
    return enabled;
}

void Trace(const char* format, ...)
{
    if (!TraceEnabled()) return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    // One write per line keeps lines from two threads whole.
    std::fprintf(stderr, "trace: %s\n", line);
    std::fflush(stderr);
}

void AppendText(TextList& list, const char* text, const float colour[4])
{
    if (list.count >= TextList::kMaxLines || list.count < 0) return;
    TextLine& line = list.lines[list.count];
    CopyBounded(line.text, sizeof line.text, text);
    for (int i = 0; i < 4; ++i)
        line.colour[i] = colour ? colour[i] : 1.0f;
    ++list.count;
}

void FormatText(TextList& list, const float colour[4], const char* format, ...)
{
    char line[256] = {};
    size_t length = format ? std::strlen(format) : 0;
    if (length > 0 && length < 256)
    {
        va_list args;
        va_start(args, format);
        FormatRestricted(line, sizeof line, 390, format, args);
        va_end(args);
    }
    AppendText(list, line, colour);
}

char* TempString()
{
    char* s = g_narrowRing[g_narrowCounter.fetch_add(1) % 50];
    s[0] = '\0';
    return s;
}

char16_t* TempWideString()
{
    char16_t* s = g_wideRing[g_wideCounter.fetch_add(1) % 50];
    s[0] = 0;
    return s;
}

const char* GetExecutableDirectory()
{
    char path[260];
    sys::ExecutablePath(path, sizeof path);
    char* cut = nullptr;
    for (char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') cut = p;
    if (cut) *cut = '\0';
    char* out = TempString();
    CopyBounded(out, 256, path);
    return out;
}

void BuildAssetRoot()
{
    char base[512];
    std::snprintf(base, sizeof base, "%s\\..", GetExecutableDirectory());
    std::snprintf(g_assetRoot, sizeof g_assetRoot, "%s/assets", base);
    for (char* p = g_assetRoot; *p; ++p)
        if (*p == '\\') *p = '/';
}

const char* GetAssetRoot()
{
    return g_assetRoot;
}

void SetAssetRoot(const char* root)
{
    CopyBounded(g_assetRoot, sizeof g_assetRoot, root);
}

const char* GetBaseName(const char* path)
{
    char* out = TempString();
    if (!path) return out;
    const char* dot = std::strrchr(path, '.');
    const char* end = dot ? dot : path + std::strlen(path);
    const char* start = path;
    for (const char* p = path; p < end; ++p)
        if (*p == '\\' || *p == '/') start = p + 1;
    int n = static_cast<int>(end - start);
    if (n > 255) n = 255;
    std::memcpy(out, start, static_cast<size_t>(n));
    out[n] = '\0';
    return out;
}

bool IsSeparator(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool IsTokenChar(char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c != '\0' && std::strchr("\"$-./:=@[]_", c) != nullptr;
}

void Trim(char* text)
{
    if (!text) return;
    size_t n = std::strlen(text);
    while (n > 0 && IsSeparator(text[n - 1]))
        --n;
    text[n] = '\0';
    size_t start = 0;
    while (start < n && IsSeparator(text[start]))
        ++start;
    if (start > 0) std::memmove(text, text + start, n - start + 1);
}

const char16_t* ToWide(const char* text)
{
    if (!text || std::strlen(text) >= 256) return nullptr;
    char16_t* out = TempWideString();
    size_t i = 0;
    for (; text[i]; ++i)
        out[i] = static_cast<unsigned char>(text[i]);
    out[i] = 0;
    return out;
}

TextParser::TextParser(int maxTokensIn, const char* fileName)
    // Fewer than two buffers cannot hold the empty token that ends a full line.
    : maxTokens(maxTokensIn < 2 ? 2 : maxTokensIn)
{
    CopyBounded(fileName_, sizeof fileName_, fileName);
    tokens_ = new char[static_cast<size_t>(maxTokens)][kTokenSize]();
    file_ = fileName ? std::fopen(fileName, "rb") : nullptr;
    line_[0] = '\0';
}

TextParser::~TextParser()
{
    if (file_) std::fclose(file_);
    delete[] tokens_;
}

bool TextParser::ReadLine()
{
    if (!file_)
    {
        atEnd = true;
        return false;
    }
    for (;;)
    {
        int n = 0;
        int c = 0;
        bool tooLong = false;
        while ((c = std::fgetc(file_)) != EOF && c != '\n')
        {
            if (n < kLineSize - 1)
                line_[n++] = static_cast<char>(c);
            else
                tooLong = true; // the rest of an over-long line is dropped
        }
        line_[n] = '\0';
        lineTooLong = tooLong;
        MIREL_ASSERT(!tooLong, 309, "Parse error");
        Trim(line_);
        if (line_[0] != '\0') break;
        if (c == EOF)
        {
            atEnd = true;
            break;
        }
    }
    if (atEnd) return false;
    Tokenize();
    return true;
}

bool TextParser::Tokenize()
{
    tokenCount = 0;
    const char* p = line_;
    while (*p && IsSeparator(*p))
        ++p;
    if (*p == '\0')
    {
        tokens_[0][0] = '\0';
        tokenCount = 1;
        return true;
    }
    bool sawTokenChar = false;
    int index = 0;
    int length = 0;
    bool reportedLong = false;
    for (; *p; ++p)
    {
        char c = *p;
        if (IsTokenChar(c))
        {
            sawTokenChar = true;
            if (length >= 126)
            {
                // Characters past the 126th of a token are dropped.
                if (!reportedLong) MIREL_ASSERT(false, 313, "Parse error");
                reportedLong = true;
                continue;
            }
            tokens_[index][length++] = c;
        }
        else if (IsSeparator(c))
        {
            tokens_[index][length] = '\0';
            ++index;
            length = 0;
            reportedLong = false;
            if (index + 1 >= maxTokens - 1) break;
            while (p[1] && IsSeparator(p[1]))
                ++p;
        }
    }
    tokens_[index][length] = '\0';
    tokenCount = index + 1;
    return !sawTokenChar;
}

const char* TextParser::Token(int i) const
{
    if (i < 0 || i >= maxTokens || i >= tokenCount) return "";
    return tokens_[i];
}

} // namespace mirel
