// The C interface of ovra.h over the in-process entry points. No C++ exception leaves it:
// input errors arrive as lastError from the entry points, anything else (memory, thread
// creation) is caught here and reported the same way.
#include "driver/ovra.h"

#include "driver/entry_points.h"
#include "xslt/stylesheet.h"

#include <exception>
#include <memory>
#include <new>
#include <vector>

static constexpr char kNullArgument[] = "A required argument is a null pointer";
static constexpr char kNullParameter[] = "A parameter has no name or no value";
static constexpr char kOutOfMemory[] = "Out of memory";
static constexpr char kUnknownAccess[] = "Not a kind of external access";

struct ovra_stylesheet {
  std::unique_ptr<ovra::Stylesheet> compiled;
};

namespace {

// Runs work, turning any exception into a failure with its message in lastError.
template <class Result, class Work>
Result guarded(Result failure, Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    ovra::setLastError(kOutOfMemory);
  } catch (const std::exception& error) {
    ovra::setLastError(error.what());
  }
  return failure;
}

}  // namespace

extern "C" {

int ovra_start_up(void) {
  return guarded(0, [] { return ovra::startUp(); });
}

int ovra_close_down(void) {
  return guarded(0, [] { return ovra::closeDown(); });
}

ovra_stylesheet* ovra_compile_stylesheet(const char* file_name) {
  return guarded<ovra_stylesheet*>(nullptr, [&]() -> ovra_stylesheet* {
    if (file_name == nullptr) {
      ovra::setLastError(kNullArgument);
      return nullptr;
    }
    std::unique_ptr<ovra::Stylesheet> compiled = ovra::compileStylesheet(file_name);
    if (!compiled)
      return nullptr;
    auto handle = std::make_unique<ovra_stylesheet>();
    handle->compiled = std::move(compiled);
    return handle.release();  // the caller's until ovra_free_stylesheet
  });
}

int ovra_transform_file(const ovra_stylesheet* stylesheet, const char* xml_file, FILE* out,
                        const ovra_param* params, size_t param_count) {
  return guarded(0, [&] {
    if (stylesheet == nullptr || xml_file == nullptr || out == nullptr ||
        (params == nullptr && param_count > 0)) {
      ovra::setLastError(kNullArgument);
      return 0;
    }
    std::vector<ovra::ParameterOption> options;
    options.reserve(param_count);
    for (size_t i = 0; i < param_count; ++i) {
      const ovra_param& param = params[i];
      if (param.name == nullptr || param.value == nullptr) {
        ovra::setLastError(kNullParameter);
        return 0;
      }
      options.push_back({param.name, param.value, param.kind == OVRA_PARAM_XPATH});
    }
    return ovra::transformFile(*stylesheet->compiled, xml_file, out, options);
  });
}

int ovra_set_external_access(int access) {
  return guarded(0, [&] {
    if (access != OVRA_EXTERNAL_ANY && access != OVRA_EXTERNAL_FOLDER &&
        access != OVRA_EXTERNAL_NONE) {
      ovra::setLastError(kUnknownAccess);
      return 0;
    }
    return ovra::setExternalAccess(ovra::ExternalAccess(access));
  });
}

int ovra_free_stylesheet(ovra_stylesheet* stylesheet) {
  std::unique_ptr<ovra_stylesheet> owned(stylesheet);
  return 1;
}

const char* ovra_last_error(void) {
  return ovra::lastErrorText();
}

const char* ovra_version(void) {
  return ovra::versionText();
}

}  // extern "C"
