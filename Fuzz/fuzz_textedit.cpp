// The edit box's model under arbitrary keys and pasted text (the clipboard
// holds whatever another program put there). Properties: the caret and the
// anchor stay inside the text; the text holds only accepted characters and
// never grows past the largest length; a cut or an erased selection leaves
// the text around it as it was.
#include <string>

#include "Core/String.h"
#include "Fuzz/FuzzSupport.h"
#include "Platform/Window/Window.h"
#include "UI/Text/TextEdit.h"

namespace {
const uint32_t kKeys[] = {plat::kKeyLeft,   plat::kKeyRight,  plat::kKeyHome, plat::kKeyEnd,    plat::kKeyUp,
                          plat::kKeyDown,   plat::kKeyDelete, plat::kKeyBackspace, plat::kKeyInsert, plat::kKeyEnter,
                          plat::kKeyEscape, plat::kKeyTab,    'A', 'C', 'V', 'X', 'a', '-', '.', '5', ' '};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    CTextEdit e;
    const size_t maxLength = data[0] & 0x0F;
    const bool numbers = data[0] & 0x10;
    e.setMaxLength(maxLength);
    if (numbers) e.setAcceptChars(u"0123456789.,-");
    e.setAcceptEnter(data[0] & 0x20);
    std::u16string clipboard;
    for (size_t i = 1; i + 2 < size; i += 3) {
        const uint8_t op = data[i], a = data[i + 1], b = data[i + 2];
        const bool ctrl = op & 1, shift = op & 2;
        if ((op >> 2) % 8 == 7) {
            // A paste of a slice of the input, read as UTF-8 (invalid bytes included).
            const size_t from = a % size, len = b % 32;
            const std::string bytes(reinterpret_cast<const char*>(data) + from, std::min(len, size - from));
            const std::u16string before = e.text();
            const size_t start = e.selectionStart(), end = e.selectionEnd();
            e.insert(CString(bytes).utf16());
            FUZZ_CHECK(e.text().compare(0, start, before, 0, start) == 0);
            FUZZ_CHECK(e.text().size() >= before.size() - (end - start));
            continue;
        }
        const uint32_t code = (op >> 5) ? kKeys[a % (sizeof(kKeys) / sizeof(kKeys[0]))] : uint32_t(a | (b << 8));
        const std::u16string before = e.text();
        const size_t start = e.selectionStart(), end = e.selectionEnd();
        const CTextEdit::Action act = e.key(code, ctrl, shift);
        if (act == CTextEdit::Action::Copy || act == CTextEdit::Action::Cut) {
            clipboard = e.selectedText();
            if (act == CTextEdit::Action::Cut) {
                e.eraseSelection();
                FUZZ_CHECK(e.text() == before.substr(0, start) + before.substr(end));
            }
        } else if (act == CTextEdit::Action::Paste) {
            e.insert(clipboard);
        }
        FUZZ_CHECK(e.caret() <= e.text().size() && e.anchor() <= e.text().size());
        FUZZ_CHECK(maxLength == 0 || e.text().size() <= maxLength);
        for (char16_t c : e.text()) FUZZ_CHECK(e.accepts(c));
    }
    return 0;
}
