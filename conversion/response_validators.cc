#include "conversion/response_validators.h"

#include "conversion/conversion_request.h"
#include "platform/automation.h"
#include "platform/file_state.h"

namespace ostrel {

std::string ImageCacheControl(const Configuration& configuration) {
  return configuration.image_cache_control.empty() ? std::string(kDefaultImageCacheControl)
                                                   : configuration.image_cache_control;
}

std::string DocumentCacheControl(const Configuration& configuration) {
  return configuration.document_cache_control.empty() ? std::string(kDefaultDocumentCacheControl)
                                                      : configuration.document_cache_control;
}

std::optional<Validators> ResponseValidators(std::string_view source,
                                             std::string_view request_key) {
  const std::optional<FileState> file = ReadFileState(source);
  std::optional<FileState> converter = ReadFileState(ComponentPath(kConverterComponent));
  std::optional<FileState> program = RunningProgramState();
  if (!file || !converter || !program) {
    return std::nullopt;
  }
  // The programs count by their size and date alone, which an installation
  // from the same package gives every web server; their device and inode
  // numbers differ from machine to machine.
  for (std::optional<FileState>* executable : {&converter, &program}) {
    (*executable)->device = 0;
    (*executable)->inode = 0;
  }
  return MakeValidators({*file, *converter, *program}, request_key, WallClockSeconds());
}

}  // namespace ostrel
