// Which dispatched arguments are lent by reference and which come back to the caller.
#include <gtest/gtest.h>

#include "com/argument_lending.h"

namespace kestrune {
namespace {

TEST(ArgumentLending, ArgumentIndexToParameterPosition) {
    const DISPID put[] = {DISPID_PROPERTYPUT};
    const DISPID named[] = {1, 5};
    const struct {
        UINT index, count;
        const DISPID* namedIds;
        UINT namedCount;
        int parameters, position;
    } cases[] = {
        {0, 3, nullptr, 0, 3, 2},  // last-first
        {2, 3, nullptr, 0, 3, 0},
        {0, 3, nullptr, 0, 2, -1},  // more arguments than parameters
        {0, 1, put, 1, 1, 0},       // a put's value is the last parameter
        {0, 2, put, 1, 2, 1},
        {1, 2, put, 1, 2, 0},
        {0, 2, named, 2, 6, 1},
        {1, 2, named, 2, 2, -1},    // a named parameter the member does not have
        {0, 2, nullptr, 2, 2, 1},   // a count without names: positional
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParameterPosition(c.index, c.count, c.namedIds, c.namedCount, c.parameters), c.position)
            << c.index << " of " << c.count;
}

TEST(ArgumentLending, OnlyIntegerScalarsComeBack) {
    const ParameterShape longOut{VT_PTR, VT_I4, true}, longIn{VT_PTR, VT_I4, false};
    const ParameterShape textOut{VT_PTR, VT_BSTR, true}, doubleOut{VT_PTR, VT_R8, true};
    const ParameterShape byValue{VT_I4, VT_EMPTY, false}, undescribed{VT_PTR, VT_EMPTY, true};
    const struct {
        ParameterShape parameter;
        VARTYPE argument;
        Lending lending;
        bool writeBack;
    } cases[] = {
        {longOut, VT_UI4, Lending::kTemporary, true},  // the status-bar handle
        {longOut, VT_I4, Lending::kTemporary, true},
        {longOut, VT_I2, Lending::kTemporary, true},
        {longOut, VT_R8, Lending::kTemporary, false},
        {longOut, VT_BSTR, Lending::kTemporary, false},
        {textOut, VT_BSTR, Lending::kTemporary, false},  // a by-value string stays the caller's
        {longIn, VT_I4, Lending::kAsGiven, false},
        {longOut, VT_BYREF | VT_VARIANT, Lending::kCallerVariable, false},
        {textOut, VT_BYREF | VT_VARIANT, Lending::kCallerVariable, false},
        {longIn, VT_BYREF | VT_VARIANT, Lending::kCallerVariable, false},
        {longOut, VT_BYREF | VT_I4, Lending::kAsGiven, false},
        {byValue, VT_I4, Lending::kAsGiven, false},
        {doubleOut, VT_R8, Lending::kAsGiven, false},
        {undescribed, VT_I4, Lending::kAsGiven, false},
    };
    for (const auto& c : cases) {
        const LendingDecision decision = DecideLending(c.parameter, c.argument);
        EXPECT_EQ(decision.lending, c.lending) << c.parameter.pointee << " <- " << c.argument;
        EXPECT_EQ(decision.writeBack, c.writeBack) << c.parameter.pointee << " <- " << c.argument;
        if (c.lending != Lending::kAsGiven) {
            EXPECT_EQ(decision.target, c.parameter.pointee);
        }
    }
}

}  // namespace
}  // namespace kestrune
