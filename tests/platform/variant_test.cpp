#include <gtest/gtest.h>
#include <platform/oleauto.h>

#include <cmath>
#include <limits>

#include "component/com_ptr.h"
#include "component/host_object.h"
#include "component/reference_count.h"
#include "owned_bstr.h"

namespace quenlo {

namespace {

using namespace std::string_view_literals;

// Counts references without ever destroying itself, so a test can read the count afterwards.
// Starts with the test's own reference.
class CountedObject final : public HostObject<IUnknown> {
 public:
  CountedObject() { AddRef(); }
};

// A variant that clears itself at the end of the test.
struct Variant : VARIANT {
  Variant() : VARIANT{} {}
  Variant(Variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(this); }
};

// A variant of the given interface type holding a new reference on object.
Variant Holding(CountedObject& object, VARTYPE type = VT_UNKNOWN) {
  Variant variant;
  variant.vt = type;
  ComPtr<IUnknown>(&object).CopyTo(&variant.punkVal);
  return variant;
}

Variant Text(std::u16string_view text) {
  Variant variant;
  variant.vt = VT_BSTR;
  variant.bstrVal = MakeBstr(text).release();
  return variant;
}

template <typename Setter>
Variant Make(VARTYPE type, Setter set) {
  Variant variant;
  variant.vt = type;
  set(variant);
  return variant;
}

Variant I4(LONG value) {
  return Make(VT_I4, [&](VARIANT& v) { v.lVal = value; });
}
Variant R8(double value) {
  return Make(VT_R8, [&](VARIANT& v) { v.dblVal = value; });
}
Variant Bool(bool value) {
  return Make(VT_BOOL, [&](VARIANT& v) { v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; });
}

// The text a conversion to VT_BSTR gives, or the failure's status written as text.
std::u16string AsText(const VARIANT& source, USHORT flags = 0) {
  Variant result;
  const HRESULT hr = VariantChangeType(&result, &source, flags, VT_BSTR);
  if (FAILED(hr)) return u"failed";
  EXPECT_EQ(result.vt, VT_BSTR);
  EXPECT_NE(result.bstrVal, nullptr);
  return std::u16string(ViewOf(result.bstrVal));
}

HRESULT Convert(const VARIANT& source, VARTYPE type, Variant& result) {
  return VariantChangeType(&result, &source, 0, type);
}

TEST(VariantLifetime, InitMakesEmpty) {
  VARIANT variant;
  variant.vt = VT_I4;
  VariantInit(&variant);
  EXPECT_EQ(variant.vt, VT_EMPTY);
}

TEST(VariantLifetime, ClearReleasesInterfaceAndEmpties) {
  CountedObject object;
  Variant variant = Holding(object);
  EXPECT_EQ(VariantClear(&variant), S_OK);
  EXPECT_EQ(ReferencesOf(&object), 1u);
  EXPECT_EQ(variant.vt, VT_EMPTY);
}

TEST(VariantLifetime, ClearRefusesUnknownTypeAndKeepsIt) {
  Variant variant;
  variant.vt = 7;  // a date: this runtime has no such type
  EXPECT_EQ(VariantClear(&variant), DISP_E_BADVARTYPE);
  EXPECT_EQ(variant.vt, 7);
  variant.vt = VT_EMPTY;
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(VariantLifetime, CopyDuplicatesStringAndFreesOldValue) {
  const Variant source = Text(u"x\0y"sv);
  Variant destination = Text(u"old");
  ASSERT_EQ(VariantCopy(&destination, &source), S_OK);
  ASSERT_EQ(destination.vt, VT_BSTR);
  EXPECT_NE(destination.bstrVal, source.bstrVal);
  EXPECT_EQ(ViewOf(destination.bstrVal), u"x\0y"sv);
}

TEST(VariantLifetime, CopyAddsReferenceAndCopyOntoItselfDoesNothing) {
  CountedObject object;
  Variant source = Holding(object);
  {
    Variant copy;
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(copy.punkVal, &object);
    EXPECT_EQ(ReferencesOf(&object), 3u);
  }
  EXPECT_EQ(VariantCopy(&source, &source), S_OK);
  EXPECT_EQ(ReferencesOf(&object), 2u);
}

TEST(VariantLifetime, CopyOfNullStringStaysNull) {
  Variant source;
  source.vt = VT_BSTR;
  Variant copy;
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_EQ(copy.bstrVal, nullptr);
}

TEST(VariantToText, WritesNumbers) {
  EXPECT_EQ(AsText(I4(123)), u"123");
  EXPECT_EQ(AsText(I4(-5)), u"-5");
  EXPECT_EQ(AsText(Make(VT_UI8, [](VARIANT& v) { v.ullVal = ~0ull; })), u"18446744073709551615");
  EXPECT_EQ(AsText(Make(VT_I8, [](VARIANT& v) { v.llVal = std::numeric_limits<LONGLONG>::min(); })),
            u"-9223372036854775808");
  EXPECT_EQ(AsText(Make(VT_I1, [](VARIANT& v) { v.cVal = static_cast<CHAR>(-3); })), u"-3");
  EXPECT_EQ(AsText(Make(VT_UI1, [](VARIANT& v) { v.bVal = 200; })), u"200");
}

TEST(VariantToText, WritesRealsWithTheirSignificantDigits) {
  EXPECT_EQ(AsText(R8(1.5)), u"1.5");
  EXPECT_EQ(AsText(R8(0.1)), u"0.1");
  EXPECT_EQ(AsText(R8(-0.0)), u"0");
  EXPECT_EQ(AsText(R8(1.0 / 3)), u"0.333333333333333");
  EXPECT_EQ(AsText(R8(1e20)), u"1E+20");
  EXPECT_EQ(AsText(R8(0.00001)), u"1E-05");
  EXPECT_EQ(AsText(Make(VT_R4, [](VARIANT& v) { v.fltVal = 0.1f; })), u"0.1");
}

TEST(VariantToText, WritesBooleansAsNumbersUnlessAskedForWords) {
  EXPECT_EQ(AsText(Bool(true)), u"-1");
  EXPECT_EQ(AsText(Bool(false)), u"0");
  EXPECT_EQ(AsText(Bool(true), VARIANT_ALPHABOOL), u"True");
  EXPECT_EQ(AsText(Bool(false), VARIANT_ALPHABOOL), u"False");
}

TEST(VariantToText, EmptyGivesAllocatedEmptyText) { EXPECT_EQ(AsText(Variant{}), u""); }

TEST(VariantToText, NullAndInterfacesDoNotConvert) {
  const Variant null = Make(VT_NULL, [](VARIANT&) {});
  Variant result;
  EXPECT_EQ(Convert(null, VT_BSTR, result), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Convert(null, VT_I4, result), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Convert(null, VT_EMPTY, result), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(result.vt, VT_EMPTY);
  EXPECT_EQ(Convert(null, VT_NULL, result), S_OK);
  EXPECT_EQ(result.vt, VT_NULL);

  CountedObject object;
  Variant unknown = Holding(object);
  Variant text;
  EXPECT_EQ(Convert(unknown, VT_BSTR, text), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ReferencesOf(&object), 2u);
}

TEST(VariantFromText, ReadsIntegers) {
  struct Case {
    std::u16string_view text;
    LONG expected;
  };
  for (const Case& c :
       {Case{u"42", 42}, Case{u" \t-7 ", -7}, Case{u"+7", 7}, Case{u"2.5", 2}, Case{u"3.5", 4},
        Case{u"-2.5", -2}, Case{u"1e3", 1000}, Case{u"2147483647", 2147483647},
        Case{u"-2147483648", -2147483647 - 1}, Case{u".5", 0}, Case{u"5.", 5}, Case{u"007", 7}}) {
    Variant result;
    ASSERT_EQ(Convert(Text(c.text), VT_I4, result), S_OK)
        << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, c.expected) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(VariantFromText, RefusesTextThatIsNotANumber) {
  for (const std::u16string_view text : {u"abc"sv, u""sv, u"  "sv, u"12abc"sv, u"1 2"sv, u"."sv,
                                         u"1e"sv, u"--1"sv, u"0x10"sv, u"\u0661"sv}) {
    Variant result;
    EXPECT_EQ(Convert(Text(text), VT_I4, result), DISP_E_TYPEMISMATCH);
  }
  Variant nullText;
  nullText.vt = VT_BSTR;
  Variant result;
  EXPECT_EQ(Convert(nullText, VT_I4, result), DISP_E_TYPEMISMATCH);
}

TEST(VariantFromText, ReportsOverflowPerTargetRange) {
  Variant result;
  EXPECT_EQ(Convert(Text(u"2147483648"), VT_I4, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(Text(u"-1"), VT_UI4, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(Text(u"256"), VT_UI1, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(Text(u"99999999999999999999999"), VT_I8, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(Text(u"1e400"), VT_R8, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(Text(u"1e39"), VT_R4, result), DISP_E_OVERFLOW);
  EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST(VariantFromText, KeepsSixtyFourBitValuesExact) {
  Variant result;
  ASSERT_EQ(Convert(Text(u"9223372036854775807"), VT_I8, result), S_OK);
  EXPECT_EQ(result.llVal, std::numeric_limits<LONGLONG>::max());
  ASSERT_EQ(Convert(Text(u"-9223372036854775808"), VT_I8, result), S_OK);
  EXPECT_EQ(result.llVal, std::numeric_limits<LONGLONG>::min());
  ASSERT_EQ(Convert(Text(u"18446744073709551615"), VT_UI8, result), S_OK);
  EXPECT_EQ(result.ullVal, std::numeric_limits<ULONGLONG>::max());
}

TEST(VariantFromText, ReadsRealsAndTruthWords) {
  Variant result;
  ASSERT_EQ(Convert(Text(u"-1.25e2"), VT_R8, result), S_OK);
  EXPECT_EQ(result.dblVal, -125.0);
  ASSERT_EQ(Convert(Text(u"1e-400"), VT_R8, result), S_OK);
  EXPECT_EQ(result.dblVal, 0.0);
  ASSERT_EQ(Convert(Text(u"0.1"), VT_R4, result), S_OK);
  EXPECT_EQ(result.fltVal, 0.1f);

  ASSERT_EQ(Convert(Text(u" TRUE "), VT_BOOL, result), S_OK);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  ASSERT_EQ(Convert(Text(u"false"), VT_BOOL, result), S_OK);
  EXPECT_EQ(result.boolVal, VARIANT_FALSE);
  ASSERT_EQ(Convert(Text(u"2"), VT_BOOL, result), S_OK);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Convert(Text(u"yes"), VT_BOOL, result), DISP_E_TYPEMISMATCH);
}

TEST(VariantBetweenNumbers, ChecksIntegerRanges) {
  Variant result;
  EXPECT_EQ(Convert(I4(300), VT_UI1, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(I4(-1), VT_UI4, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(Make(VT_UI8, [](VARIANT& v) { v.ullVal = ~0ull; }), VT_I8, result),
            DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(Make(VT_I8, [](VARIANT& v) { v.llVal = 1ll << 40; }), VT_I4, result),
            DISP_E_OVERFLOW);
  ASSERT_EQ(Convert(I4(255), VT_UI1, result), S_OK);
  EXPECT_EQ(result.bVal, 255);
  ASSERT_EQ(Convert(I4(-128), VT_I1, result), S_OK);
  EXPECT_EQ(static_cast<signed char>(result.cVal), -128);
  ASSERT_EQ(Convert(Make(VT_UI4, [](VARIANT& v) { v.ulVal = 0xFFFFFFFFu; }), VT_I8, result), S_OK);
  EXPECT_EQ(result.llVal, 0xFFFFFFFFll);
}

TEST(VariantBetweenNumbers, RoundsRealsHalfToEvenWithinRange) {
  Variant result;
  for (const auto& [real, expected] : {std::pair{2.5, 2},
                                       {3.5, 4},
                                       {-0.5, 0},
                                       {-1.5, -2},
                                       {2.4999, 2},
                                       {2147483647.4, 2147483647}}) {
    ASSERT_EQ(Convert(R8(real), VT_I4, result), S_OK) << real;
    EXPECT_EQ(result.lVal, expected) << real;
  }
  EXPECT_EQ(Convert(R8(2147483647.5), VT_I4, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(R8(std::nan("")), VT_I4, result), DISP_E_OVERFLOW);
  EXPECT_EQ(Convert(R8(1e19), VT_I8, result), DISP_E_OVERFLOW);
  ASSERT_EQ(Convert(R8(1e19), VT_UI8, result), S_OK);
  EXPECT_EQ(result.ullVal, 10000000000000000000ull);
  EXPECT_EQ(Convert(R8(1e300), VT_R4, result), DISP_E_OVERFLOW);
}

TEST(VariantBetweenNumbers, BooleansAndEmpty) {
  Variant result;
  ASSERT_EQ(Convert(Bool(true), VT_I4, result), S_OK);
  EXPECT_EQ(result.lVal, -1);
  ASSERT_EQ(Convert(Bool(true), VT_UI1, result), S_OK);
  EXPECT_EQ(result.bVal, 255);
  ASSERT_EQ(Convert(R8(0.25), VT_BOOL, result), S_OK);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  ASSERT_EQ(Convert(I4(0), VT_BOOL, result), S_OK);
  EXPECT_EQ(result.boolVal, VARIANT_FALSE);
  ASSERT_EQ(Convert(Variant{}, VT_I4, result), S_OK);
  EXPECT_EQ(result.lVal, 0);
  ASSERT_EQ(Convert(Variant{}, VT_BOOL, result), S_OK);
  EXPECT_EQ(result.boolVal, VARIANT_FALSE);
  ASSERT_EQ(Convert(I4(9), VT_EMPTY, result), S_OK);
  EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST(VariantChangeInPlace, ConvertsAndFreesTheOldValue) {
  Variant variant = Text(u"17");
  ASSERT_EQ(VariantChangeType(&variant, &variant, 0, VT_I4), S_OK);
  EXPECT_EQ(variant.vt, VT_I4);
  EXPECT_EQ(variant.lVal, 17);
  ASSERT_EQ(VariantChangeType(&variant, &variant, 0, VT_BSTR), S_OK);
  EXPECT_EQ(ViewOf(variant.bstrVal), u"17"sv);
  const BSTR before = variant.bstrVal;
  ASSERT_EQ(VariantChangeType(&variant, &variant, 0, VT_BSTR), S_OK);
  EXPECT_EQ(variant.bstrVal, before);
}

TEST(VariantChangeInPlace, FailureLeavesDestinationUntouched) {
  Variant variant = Text(u"abc");
  const BSTR text = variant.bstrVal;
  EXPECT_EQ(VariantChangeType(&variant, &variant, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(variant.vt, VT_BSTR);
  EXPECT_EQ(variant.bstrVal, text);

  Variant destination = Text(u"keep");
  EXPECT_EQ(VariantChangeType(&destination, &variant, 0, VT_R8), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ViewOf(destination.bstrVal), u"keep"sv);
}

TEST(VariantChangeType, RefusesBadTypesAndArguments) {
  Variant result;
  const Variant date = Make(7, [](VARIANT&) {});
  EXPECT_EQ(Convert(date, VT_BSTR, result), DISP_E_BADVARTYPE);
  EXPECT_EQ(Convert(I4(1), 7, result), DISP_E_BADVARTYPE);
  EXPECT_EQ(Convert(I4(1), VT_I4 | 0x4000, result), DISP_E_BADVARTYPE);  // by reference
  EXPECT_EQ(VariantChangeType(nullptr, &result, 0, VT_I4), E_INVALIDARG);
  EXPECT_EQ(VariantChangeType(&result, nullptr, 0, VT_I4), E_INVALIDARG);
}

TEST(VariantChangeType, InterfacesKeepTheirReferences) {
  CountedObject object;
  Variant dispatch = Holding(object, VT_DISPATCH);
  {
    Variant same;
    ASSERT_EQ(Convert(dispatch, VT_DISPATCH, same), S_OK);
    Variant unknown;
    ASSERT_EQ(Convert(dispatch, VT_UNKNOWN, unknown), S_OK);
    EXPECT_EQ(unknown.punkVal, &object);
    EXPECT_EQ(ReferencesOf(&object), 4u);
  }
  EXPECT_EQ(ReferencesOf(&object), 2u);
}

}  // namespace

}  // namespace quenlo
