// FI::FIUnitSource: the interface of a module that knows units of measure and converts values
// between them. Not counted and never deleted through this interface (its destructor is
// protected and not virtual): the module that made it frees it. The library never calls these
// operations. One thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>

namespace FI {

struct QORUTILS_API FIUnitSource {
    // How many units the source knows.
    virtual int UnitCount() = 0;
    // The name of unit `index` (0 to UnitCount() - 1), cleared outside that range.
    virtual FIAttribute& GetUnitName(int index, FIAttribute& name) = 0;
    // Whether the source knows the unit called `unit`.
    virtual bool HasUnit(const FIAttribute& unit) = 0;
    // The physical quantity that `unit` measures (for example "length"), cleared if unknown.
    virtual FIAttribute& GetQuantity(const FIAttribute& unit, FIAttribute& quantity) = 0;
    // The base unit of `unit`'s quantity, cleared if unknown.
    virtual FIAttribute& GetBaseUnit(const FIAttribute& unit, FIAttribute& base) = 0;
    // Whether values convert between the two units (they measure the same quantity).
    virtual bool AreCompatible(const FIAttribute& unit, const FIAttribute& other) = 0;
    // Converts `value` in `unit` to the base unit; false (result untouched) if it cannot.
    virtual bool ToBase(const FIAttribute& unit, double value, double& result) = 0;
    // Converts `value` in the base unit to `unit`; false (result untouched) if it cannot.
    virtual bool FromBase(const FIAttribute& unit, double value, double& result) = 0;

protected:
    ~FIUnitSource() = default;
    // Copied as part of a derived object (a deep clone, say).
    FIUnitSource() = default;
    FIUnitSource(const FIUnitSource&) = default;
    FIUnitSource& operator=(const FIUnitSource&) = default;
};

} // namespace FI
