// The C interface of ovra.h over the in-process entry points. No C++ exception leaves it:
// input errors arrive as lastError from the entry points, anything else (memory, thread
// creation) is caught here and reported the same way.
#include "driver/ovra.h"

#include "driver/entry_points.h"
#include "xslt/stylesheet.h"

#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

static constexpr char kNullArgument[] = "A required argument is a null pointer";
static constexpr char kNullParameter[] = "A parameter has no name or no value";
static constexpr char kOutOfMemory[] = "Out of memory";
static constexpr char kUnknownAccess[] = "Not a kind of external access";
static constexpr char kUnknownLimit[] = "Not a write limit";
static constexpr char kStylesheetName[] = "stylesheet.xsl";
static constexpr char kDocumentName[] = "document.xml";

// The C names of the program's exit statuses.
static_assert(OVRA_OK == int(ovra::ExitStatus::Success));
static_assert(OVRA_USAGE_ERROR == int(ovra::ExitStatus::UsageError));
static_assert(OVRA_STYLESHEET_UNREADABLE == int(ovra::ExitStatus::StylesheetUnreadable));
static_assert(OVRA_STYLESHEET_ERROR == int(ovra::ExitStatus::StylesheetError));
static_assert(OVRA_DOCUMENT_ERROR == int(ovra::ExitStatus::DocumentError));
static_assert(OVRA_RUNTIME_ERROR == int(ovra::ExitStatus::RuntimeError));
static_assert(OVRA_TERMINATED == int(ovra::ExitStatus::Terminated));
static_assert(OVRA_OUTPUT_ERROR == int(ovra::ExitStatus::OutputError));

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
    ovra::setLastError(kOutOfMemory, ovra::ExitStatus::RuntimeError);
  } catch (const std::exception& error) {
    ovra::setLastError(error.what(), ovra::ExitStatus::RuntimeError);
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

static ovra_stylesheet* handleOf(std::unique_ptr<ovra::Stylesheet> compiled) {
  if (!compiled)
    return nullptr;
  auto handle = std::make_unique<ovra_stylesheet>();
  handle->compiled = std::move(compiled);
  return handle.release();  // the caller's until ovra_free_stylesheet
}

ovra_stylesheet* ovra_compile_stylesheet(const char* file_name) {
  return guarded<ovra_stylesheet*>(nullptr, [&]() -> ovra_stylesheet* {
    if (file_name == nullptr) {
      ovra::setLastError(kNullArgument);
      return nullptr;
    }
    return handleOf(ovra::compileStylesheet(file_name));
  });
}

ovra_stylesheet* ovra_compile_stylesheet_memory(const char* text, size_t size, const char* name) {
  return guarded<ovra_stylesheet*>(nullptr, [&]() -> ovra_stylesheet* {
    if (text == nullptr && size > 0) {
      ovra::setLastError(kNullArgument);
      return nullptr;
    }
    return handleOf(ovra::compileStylesheetText(std::string(text != nullptr ? text : "", size),
                                                name != nullptr ? name : kStylesheetName));
  });
}

// The parameters as the entry points take them; false after setting the error when one
// is missing a part.
static bool readParameters(const ovra_param* params, size_t param_count,
                           std::vector<ovra::ParameterOption>& options) {
  if (params == nullptr && param_count > 0) {
    ovra::setLastError(kNullArgument);
    return false;
  }
  options.reserve(param_count);
  for (size_t i = 0; i < param_count; ++i) {
    const ovra_param& param = params[i];
    if (param.name == nullptr || param.value == nullptr) {
      ovra::setLastError(kNullParameter);
      return false;
    }
    options.push_back({param.name, param.value, param.kind == OVRA_PARAM_XPATH});
  }
  return true;
}

int ovra_transform_file(const ovra_stylesheet* stylesheet, const char* xml_file, FILE* out,
                        const ovra_param* params, size_t param_count) {
  return guarded(0, [&] {
    std::vector<ovra::ParameterOption> options;
    if (stylesheet == nullptr || xml_file == nullptr || out == nullptr) {
      ovra::setLastError(kNullArgument);
      return 0;
    }
    if (!readParameters(params, param_count, options))
      return 0;
    return ovra::transformFile(*stylesheet->compiled, xml_file, out, options);
  });
}

int ovra_transform_memory(const ovra_stylesheet* stylesheet, const char* text, size_t size,
                          const char* name, FILE* out, const ovra_param* params,
                          size_t param_count) {
  return guarded(0, [&] {
    std::vector<ovra::ParameterOption> options;
    if (stylesheet == nullptr || (text == nullptr && size > 0) || out == nullptr) {
      ovra::setLastError(kNullArgument);
      return 0;
    }
    if (!readParameters(params, param_count, options))
      return 0;
    return ovra::transformText(*stylesheet->compiled,
                               std::string(text != nullptr ? text : "", size),
                               name != nullptr ? name : kDocumentName, out, options);
  });
}

namespace {

// A C handler and its data.
class CHandler : public ovra::ReportHandler {
 public:
  CHandler(ovra_report_handler handler, void* data) : handler_(handler), data_(data) {}
  void report(Kind kind, const ovra::SourceLocation& where, std::string_view text) override {
    std::string copy(text);  // the C side wants it ended by a zero
    ovra_report report{ovra_report_kind(kind), where.file.c_str(), where.line, where.column,
                       copy.c_str()};
    handler_(&report, data_);
  }

 private:
  ovra_report_handler handler_;
  void* data_;
};

}  // namespace

int ovra_set_report_handler(ovra_report_handler handler, void* user_data) {
  return guarded(0, [&] {
    ovra::setReportHandler(handler != nullptr ? std::make_shared<CHandler>(handler, user_data)
                                              : nullptr);
    return 1;
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

int ovra_set_write_limits(int flags, const char* folder) {
  return guarded(0, [&] {
    if ((flags & ~(OVRA_WRITE_NO_FILES | OVRA_WRITE_NO_FOLDERS)) != 0) {
      ovra::setLastError(kUnknownLimit);
      return 0;
    }
    return ovra::setWriteLimits((flags & OVRA_WRITE_NO_FILES) != 0,
                                (flags & OVRA_WRITE_NO_FOLDERS) != 0, folder);
  });
}

int ovra_free_stylesheet(ovra_stylesheet* stylesheet) {
  std::unique_ptr<ovra_stylesheet> owned(stylesheet);
  return 1;
}

const char* ovra_last_error(void) {
  return ovra::lastErrorText();
}

int ovra_last_status(void) {
  return ovra::toInt(ovra::lastStatus);
}

const char* ovra_version(void) {
  return ovra::versionText();
}

}  // extern "C"
