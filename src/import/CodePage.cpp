#include "import/CodePage.h"

#include <iconv.h>

#include <memory>

namespace qs {

namespace {

struct Driver
{
    unsigned char id;
    int codePage;
};

// dBASE language-driver bytes and the single-byte code pages they name.
constexpr Driver kDrivers[] = {
    {0x01, 437}, {0x02, 850}, {0x03, 1252}, {0x08, 865},  {0x09, 437},  {0x0A, 850},  {0x0B, 437},
    {0x0D, 437}, {0x0E, 850}, {0x0F, 437},  {0x10, 850},  {0x11, 437},  {0x12, 850},  {0x14, 850},
    {0x15, 437}, {0x16, 850}, {0x17, 865},  {0x18, 437},  {0x19, 437},  {0x1A, 850},  {0x1B, 437},
    {0x1C, 863}, {0x1D, 850}, {0x1F, 852},  {0x22, 852},  {0x23, 852},  {0x24, 860},  {0x25, 850},
    {0x26, 866}, {0x37, 850}, {0x40, 852},  {0x57, 1252}, {0x58, 1252}, {0x59, 1252}, {0x64, 852},
    {0x65, 866}, {0x66, 865}, {0x67, 861},  {0x6A, 737},  {0x6B, 857},  {0x6C, 863},  {0x86, 737},
    {0x87, 852}, {0x88, 857}, {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
};

struct IconvCloser
{
    void operator()(void *cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

QString kind(int number)
{
    return number < 1000 ? QStringLiteral("DOS") : QStringLiteral("Windows");
}

} // namespace

CodePage::CodePage(int number, unsigned char driver, bool named)
    : m_number(number), m_driver(driver), m_named(named)
{
    for (int b = 0; b < 256; ++b)
        m_chars[b] = char16_t(b);
    const QByteArray name = "CP" + QByteArray::number(number);
    const iconv_t cd = iconv_open("UTF-16LE", name.constData());
    if (cd == iconv_t(-1))
        return; // without the converter, bytes keep their own values
    const std::unique_ptr<void, IconvCloser> closer(cd);
    for (int b = 0; b < 256; ++b) {
        char in = char(b);
        unsigned char out[4] = {};
        char *inPtr = &in;
        char *outPtr = reinterpret_cast<char *>(out);
        size_t inLeft = 1;
        size_t outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || outLeft != 2) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr); // undefined byte: start afresh
            continue;
        }
        m_chars[b] = char16_t(out[0] | (out[1] << 8));
    }
}

CodePage CodePage::forLanguageDriver(unsigned char driver)
{
    for (const Driver &d : kDrivers) {
        if (d.id == driver)
            return CodePage(d.codePage, driver, true);
    }
    return CodePage(1252, driver, false);
}

QString CodePage::decode(QByteArrayView bytes) const
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(m_chars[static_cast<unsigned char>(bytes[i])]);
    return text;
}

QString CodePage::description() const
{
    const QString used = QStringLiteral("%1 code page %2").arg(kind(m_number)).arg(m_number);
    const QString driver =
        QStringLiteral("0x") + QString::number(m_driver, 16).toUpper().rightJustified(2, u'0');
    if (m_named)
        return QStringLiteral("Text was read in %1 (language driver %2).").arg(used, driver);
    if (m_driver == 0)
        return QStringLiteral("The table names no code page; text was read in %1.").arg(used);
    return QStringLiteral("The table's language driver %1 names no code page the import knows; "
                          "text was read in %2.")
        .arg(driver, used);
}

QString fnDecodeLegacyText(QByteArrayView bytes)
{
    static const CodePage windows1252 = CodePage::forLanguageDriver(0);
    return windows1252.decode(bytes);
}

} // namespace qs
