#pragma once

// Single-byte text of the legacy files as Unicode, in the code page that the table's
// language-driver byte names. The conversion itself is the C library's (iconv).

#include <QByteArrayView>
#include <QString>

#include <array>

namespace qs {

class CodePage
{
public:
    // The code page named by a dBASE language-driver byte; Windows-1252 when the byte is 0
    // or names no single-byte code page the import knows.
    static CodePage forLanguageDriver(unsigned char driver);

    QString decode(QByteArrayView bytes) const;

    // One sentence for the import's report: which code page was used, and why.
    QString description() const;

private:
    explicit CodePage(int number, unsigned char driver, bool named);

    // Every byte converted once, when the code page is chosen: iconv per field would
    // cost more than the rest of a row's conversion. A byte that the code page leaves
    // undefined keeps its own value as code point, so nothing is lost.
    std::array<char16_t, 256> m_chars{};
    int m_number = 1252;
    unsigned char m_driver = 0;
    bool m_named = false;
};

// Windows-1252 text as Unicode, for texts that carry no language driver.
QString fnDecodeLegacyText(QByteArrayView bytes);

} // namespace qs
