// Filters registered only in this test executable: the converter that intelligent connect
// must find, and a renderer of subtype B that Render must find.
#include "TestConverter.h"
#include "RecordingSink.h"

namespace vidorra::test {
namespace {

const FilterRegistration kConverter({
    .clsid = CLSID_TestConverter,
    .friendlyName = L"Test Converter",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_PREFERRED,
    .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_TestA}},
    .outputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_TestB}},
    .monikerName = {},
    .factory = FilterFactoryFor<TestConverter>(),
});

const FilterRegistration kSinkOfB({
    .clsid = CLSID_TestCountingSink,
    .friendlyName = L"Test Counting Sink",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_PREFERRED,
    .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_TestB}},
    .outputTypes = {},
    .monikerName = {},
    .factory =
        [](IBaseFilter** filter) {
          return MakeComObject<RecordingSink>(MEDIASUBTYPE_TestB)
              ->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
        },
});

}  // namespace
}  // namespace vidorra::test
