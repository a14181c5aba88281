#include "payload/main_package.h"

namespace korvelt {

bool MainPackagePath(const PayloadArchive& archive, String* path) {
  return path->Assign(archive.extractFolder()) && path->Append(archive.mainBaseName()) && path->Append(".msi");
}

}  // namespace korvelt
