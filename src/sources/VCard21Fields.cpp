#include "sources/VCard21Fields.h"

namespace corvane {

namespace {

using Kind = VCard21Field::Kind;

constexpr VCard21Field kFields[] = {
    {"ORG:", Kind::kText, &Contact::company},
    {"TITLE:", Kind::kText, &Contact::jobTitle},
    {"ROLE:", Kind::kText, &Contact::role},
    {"TEL;WORK;VOICE:", Kind::kText, &Contact::businessPhone},
    {"TEL;WORK2;VOICE:", Kind::kText, &Contact::business2Phone},
    {"TEL;HOME;VOICE:", Kind::kText, &Contact::homePhone},
    {"TEL;HOME:", Kind::kText, &Contact::home2Phone},
    {"TEL;PREF:", Kind::kText, &Contact::primaryPhone},
    {"TEL;CELL;VOICE:", Kind::kText, &Contact::mobilePhone},
    {"TEL;CAR;VOICE:", Kind::kText, &Contact::carPhone},
    {"TEL;WORK;FAX:", Kind::kText, &Contact::businessFax},
    {"TEL;HOME;FAX:", Kind::kText, &Contact::homeFax},
    {"TEL;PAGER;VOICE:", Kind::kText, &Contact::pager},
    {"URL;WORK:", Kind::kText, &Contact::webPage},
    {"EMAIL;PREF;INTERNET:", Kind::kEmail, nullptr, 0},
    {"EMAIL;SEC;INTERNET:", Kind::kEmail, nullptr, 1},
    {"EMAIL;THIRD;INTERNET:", Kind::kEmail, nullptr, 2},
    {"BDAY:", Kind::kDate, nullptr, 0, &Contact::birthday},
    {"ANNIV:", Kind::kDate, nullptr, 0, &Contact::anniversary},
    {"ADR;WORK:", Kind::kAddress, nullptr, 0, nullptr, &Contact::businessAddress},
    {"ADR;HOME:", Kind::kAddress, nullptr, 0, nullptr, &Contact::homeAddress},
    {"ADR;POSTAL:", Kind::kAddress, nullptr, 0, nullptr, &Contact::otherAddress},
    {"SPOUSE:", Kind::kText, &Contact::spouse},
    {"CHILDREN:", Kind::kText, &Contact::children},
    {"NICKNAME:", Kind::kText, &Contact::nickname},
    {"HOBBY:", Kind::kText, &Contact::hobby},
    {"LANG:", Kind::kText, &Contact::language},
    {"NOTE:", Kind::kText, &Contact::note},
    {"X-WAB-GENDER:", Kind::kGender},
};

}  // namespace

std::span<const VCard21Field> VCard21Fields() {
    return kFields;
}

QStringList AddressParts(const ContactAddress& address) {
    return {address.poBox,  address.extended,   address.street, address.city,
            address.region, address.postalCode, address.country};
}

ContactAddress AddressFromParts(const QStringList& parts) {
    return {parts.value(0), parts.value(1), parts.value(2), parts.value(3),
            parts.value(4), parts.value(5), parts.value(6)};
}

QStringList NameParts(const Contact& contact) {
    return {contact.lastName, contact.firstName, contact.middleName, contact.title, contact.suffix};
}

void SetNameParts(Contact& contact, const QStringList& parts) {
    contact.lastName = parts.value(0);
    contact.firstName = parts.value(1);
    contact.middleName = parts.value(2);
    contact.title = parts.value(3);
    contact.suffix = parts.value(4);
}

}  // namespace corvane
