#include "platform/GVariantValue.h"

#include <QByteArrayList>
#include <QtEndian>
#include <vector>

namespace corvane {
namespace {

// Text up to the first zero byte. Bytes that are not UTF-8 are replaced: GVariant
// strings must be valid UTF-8 and a foreign file may hold anything.
QByteArray TextUpToZero(const QByteArray& data) {
    const qsizetype zero = data.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? data : data.left(zero)).toUtf8();
}

GVariant* StringOrParsedText(const QByteArray& text) {
    // No type hint: the text's own annotations ("uint32 7") carry the type.
    GVariant* parsed = g_variant_parse(nullptr, text.constData(), nullptr, nullptr, nullptr);
    return parsed != nullptr ? parsed : g_variant_new_string(text.constData());
}

GVariant* StringArray(const QByteArray& data) {
    std::vector<QByteArray> texts;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype zero = data.indexOf('\0', start);
        const QByteArray text = data.mid(start, zero < 0 ? -1 : zero - start);
        // An empty text is the list's closing zero.
        if (text.isEmpty()) {
            break;
        }
        texts.push_back(QString::fromUtf8(text).toUtf8());
        start = zero < 0 ? data.size() : zero + 1;
    }
    std::vector<const gchar*> pointers;
    for (const QByteArray& text : texts) {
        pointers.push_back(text.constData());
    }
    return g_variant_new_strv(pointers.data(), static_cast<gssize>(pointers.size()));
}

}  // namespace

RegistryValue RegistryValueFromGVariant(const QString& name, GVariant* value) {
    gchar* text = g_variant_print(value, TRUE);
    RegistryValue result{name, kRegString, QByteArray(text, qstrlen(text) + 1)};
    g_free(text);
    return result;
}

GVariantPtr GVariantFromRegistryValue(const RegistryValue& value, QString& reason) {
    GVariant* made = nullptr;
    switch (value.type) {
        case kRegString:
            made = StringOrParsedText(TextUpToZero(value.data));
            break;
        case kRegExpandString:
            made = g_variant_new_string(TextUpToZero(value.data).constData());
            break;
        case kRegDword:
            if (value.data.size() != 4) {
                reason =
                    QStringLiteral("a dword value needs 4 bytes, not %1").arg(value.data.size());
                return nullptr;
            }
            made = g_variant_new_uint32(qFromLittleEndian<quint32>(value.data.constData()));
            break;
        case kRegMultiString:
            made = StringArray(value.data);
            break;
        case kRegBinary:
            made = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, value.data.constData(),
                                             static_cast<gsize>(value.data.size()), 1);
            break;
        default:
            reason = QStringLiteral("values of type %1 cannot be stored").arg(value.type);
            return nullptr;
    }
    return GVariantPtr(g_variant_ref_sink(made));
}

}  // namespace corvane
