#pragma once
// Error records: the result of every operation that can fail. A function
// returns an empty CError on success, or a record of text lines: the message,
// then one location line ("source( line )") for each level that passed the
// error on. Errors never travel as exceptions.
//
// Message literals are "@kelstr_<Class>_<method>[_<id>] <English text>"; the
// record keeps only the text after the first blank, with "%1".."%9" filled in
// from the arguments and "%%" written as "%". Declare them with KELSTR:
//
//     KELSTR(CObject_runEvent_UnknownEvent, "Unknown event '%1'.");
//     return KEL_ERROR(kelstr_CObject_runEvent_UnknownEvent, eventName);
//     if (CError e = doThing()) return KEL_PASS(std::move(e));

#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "Core/MemAllocator.h"
#include "Core/String.h"

#define KELSTR(id, text) inline constexpr char kelstr_##id[] = "@kelstr_" #id " " text

struct CErrorRecord : CKelAllocated {
    std::vector<CString, CKelStdAllocator<CString>> lines;
};

class [[nodiscard]] CError {
public:
    CError() = default;
    CError(std::nullptr_t) {}
    CError(CError&&) noexcept = default;
    CError& operator=(CError&&) noexcept = default;

    explicit operator bool() const { return m_rec != nullptr; }
    bool ok() const { return m_rec == nullptr; }

    // The record's lines (empty on success).
    const std::vector<CString, CKelStdAllocator<CString>>& lines() const;
    // The first line (the message), or empty.
    CString message() const;
    // All lines joined by '\n' (UTF-8).
    std::string text() const;

    // Appends a line (for error records built outside addError).
    void appendLine(const CString& line);

private:
    friend CError addError(CError, std::string_view, int, const CString&, std::string_view,
                           std::initializer_list<CString>);
    std::unique_ptr<CErrorRecord> m_rec;
};

// Appends to err (creating a record when err is empty): the message line when
// message is not empty, then the location line. Returns the record.
CError addError(CError err, std::string_view sourcePath, int line, const CString& comment,
                std::string_view message, std::initializer_list<CString> args = {});

// The text of a message literal with its placeholders filled in.
CString formatMessage(std::string_view message, std::initializer_list<CString> args);

#define KEL_ERROR(msg, ...) ::addError(CError(), __FILE__, __LINE__, CString(), (msg), {__VA_ARGS__})
#define KEL_ERROR_C(comment, msg, ...) \
    ::addError(CError(), __FILE__, __LINE__, CString(comment), (msg), {__VA_ARGS__})
#define KEL_PASS(err) ::addError(std::move(err), __FILE__, __LINE__, CString(), std::string_view())
#define KEL_TRY(expr)                               \
    do {                                            \
        if (CError kelTryErr_ = (expr))             \
            return KEL_PASS(kelTryErr_);            \
    } while (0)
