#include "platform/Contact.h"

#include "model/TaskRecord.h"

namespace corvane {

bool ContactAddress::IsEmpty() const {
    return poBox.isEmpty() && extended.isEmpty() && street.isEmpty() && city.isEmpty() &&
           region.isEmpty() && postalCode.isEmpty() && country.isEmpty();
}

QString ContactDisplayText(const QString& first, const QString& middle, const QString& last) {
    return ContactDisplayName(first, middle, last);
}

QString ContactDisplayText(const Contact& contact) {
    return ContactDisplayText(contact.firstName, contact.middleName, contact.lastName);
}

bool SameContactName(const Contact& a, const Contact& b) {
    return a.lastName == b.lastName && a.firstName == b.firstName && a.middleName == b.middleName &&
           a.title == b.title && a.suffix == b.suffix;
}

}  // namespace corvane
