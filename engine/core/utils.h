// Failure reporting, restricted formatting, on-screen text, paths and the line tokenizer.
#pragma once

#include <cstdint>
#include <cstdarg>
#include <cstdio>

namespace mirel
{

// Reports a failed check and returns; the caller goes on along its own path.
// On Windows this is a modal "MIREL ERROR" box unless MIREL_ASSERT_STDERR is set in the
// environment, in which case (and always in the native build) the report goes to stderr.
void Assert(bool condition, const char* file, int line, const char* format, ...);

// The name a report gives a source file: its path below engine/ without the extension
// ("core/props"), or its bare name outside the engine ("cadora"), however the compiler spells
// __FILE__ (absolute or relative, either slash).
class SourceName
{
  public:
    explicit SourceName(const char* path);
    const char* Name() const { return name_; }

  private:
    char name_[128];
};

// A check reported under the file it is written in. The line is explicit: some reports carry a
// fixed line number that must not move with edits.
#define MIREL_ASSERT(condition, line, ...)                                                                   \
    do                                                                                                       \
    {                                                                                                        \
        static const ::mirel::SourceName mirelSourceName_(__FILE__);                                         \
        ::mirel::Assert((condition), mirelSourceName_.Name(), (line), __VA_ARGS__);                          \
    } while (0)

// Report bookkeeping, used by automated runs and tests.
int AssertReportCount();
void ResetAssertReports();
// Copies the last report's full text (bounded) into out; returns out.
const char* LastAssertMessage(char* out, int capacity);
// Native tests silence the stderr echo of expected reports.
void SetAssertEcho(bool echo);
// Called before a box is shown (the device layer leaves full-screen there).
using AssertPreReportHook = void (*)();
void SetAssertPreReportHook(AssertPreReportHook hook);

// Diagnostics for automated runs: one "trace: ..." line on stderr, flushed, when the
// environment sets MIREL_TRACE; nothing otherwise. Any thread may call it.
bool TraceEnabled();
void Trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Restricted formatter: only %s, %d and %f. Writes at most capacity-1 characters and a
// terminator; returns the length written. Unsupported conversions are reported with the
// given source line of core/utils.
int FormatRestricted(char* out, int capacity, int reportLine, const char* format, va_list args);

struct TextLine
{
    char text[256];
    float colour[4];
};

struct TextList
{
    static constexpr int kSlots = 30;
    static constexpr int kMaxLines = 29;
    float x = 0.0f;
    float y = 0.0f;
    TextLine lines[kSlots] = {};
    int32_t count = 0;
};

void FormatText(TextList& list, const float colour[4], const char* format, ...);
void AppendText(TextList& list, const char* text, const float colour[4]);

// Temporary strings: each stays valid until 50 further ones of its ring are handed out.
char* TempString();
char16_t* TempWideString();

const char* GetExecutableDirectory();
void BuildAssetRoot();
const char* GetAssetRoot();
// Points the asset root elsewhere (tests and tools that run outside the installed tree).
void SetAssetRoot(const char* root);
const char* GetBaseName(const char* path);
void Trim(char* text);
// UTF-16 copy in the wide ring, or null for texts of 256 characters or more.
const char16_t* ToWide(const char* text);

// Splits text files into lines and lines into tokens.
class TextParser
{
  public:
    static constexpr int kTokenSize = 256;
    static constexpr int kLineSize = 1024;

    TextParser(int maxTokens, const char* fileName);
    ~TextParser();
    TextParser(const TextParser&) = delete;
    TextParser& operator=(const TextParser&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // True when a non-empty line was read and tokenised.
    bool ReadLine();
    // Tokenises the current line; true when it held no token character at all.
    bool Tokenize();
    // Token i of the current line; an empty text for indices outside the buffers.
    const char* Token(int i) const;
    // The current line, trimmed.
    const char* Line() const { return line_; }

    int32_t maxTokens;
    int32_t tokenCount = 0;
    bool atEnd = false;
    // The last line read was longer than the line buffer and was cut (it was also reported).
    bool lineTooLong = false;

  private:
    char (*tokens_)[kTokenSize] = nullptr;
    char line_[kLineSize] = {};
    std::FILE* file_ = nullptr;
    char fileName_[260] = {};
};

bool IsTokenChar(char c);
bool IsSeparator(char c);

} // namespace mirel
