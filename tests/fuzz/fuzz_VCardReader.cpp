// vCard 3.0/4.0 cards of a vdir, parsed from bytes alone (never the store): a card that
// reads is rewritten with its own contact, and that rewrite reads back to the same contact
// and rewrites to the same bytes, so saving twice never changes a card.

#include "FuzzSupport.h"
#include "platform/VCardContact.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::DropLogLines();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ParsedVCard card;
    QString error;
    if (!ReadVCard(bytes, card, error)) {
        fuzz::Require(!error.isEmpty(), "a refused card says why");
        return 0;
    }
    const QByteArray rewritten = RewriteVCard(card, card.contact);
    ParsedVCard again;
    fuzz::Require(ReadVCard(rewritten, again, error) || rewritten.size() > kMaxVCardSize,
                  "a rewritten card reads");
    if (rewritten.size() <= kMaxVCardSize) {
        fuzz::Require(SameContactName(again.contact, card.contact), "the name stays");
        fuzz::Require(RewriteVCard(again, card.contact) == rewritten, "a second save is no change");
    }
    (void)NewVCard(card.contact, QStringLiteral("uid"));
    return 0;
}
