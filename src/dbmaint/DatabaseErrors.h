#pragma once

#include "support/Errors.h"

namespace vantor {

// The database engine refused an operation: a file that is not a table it can use, a key
// violation, a restructure precondition. The text is what the engineer sees.
class DatabaseError : public Error {
public:
    using Error::Error;
};

// A value cannot be stored in a field of the given type ("abc" in a number field, a
// number out of a short field's range).
class ConversionError : public Error {
public:
    using Error::Error;
};

} // namespace vantor
