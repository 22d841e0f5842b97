#pragma once

// How a settings value travels between dconf's GVariant and a RegistryValue. Pure
// conversions: nothing here reads or writes the database.

#include <glib.h>
#include <QString>
#include <memory>

#include "platform/Registry.h"

namespace corvane {

struct GVariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
// One owned (non-floating) reference.
using GVariantPtr = std::unique_ptr<GVariant, GVariantUnref>;

// A kRegString holding the value's GVariant text with its type where the text alone
// would not tell it (uint32 7), as `dconf dump` prints it, and the terminating zero.
RegistryValue RegistryValueFromGVariant(const QString& name, GVariant* value);

// The GVariant a value is stored as; null, with `reason` set, for a type that dconf
// cannot hold or a kRegDword that is not four bytes.
GVariantPtr GVariantFromRegistryValue(const RegistryValue& value, QString& reason);

}  // namespace corvane
