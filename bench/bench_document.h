// A document over a large noise picture, for the benchmarks of the view and
// the window.
#pragma once

#include <memory>

#include "bench_support.h"
#include "document/vivid_doc.h"

namespace bench {

// A new document whose image is a width x height 24-bit noise picture,
// taken over the way New takes a prepared image.
inline std::unique_ptr<CVividDoc> MakeNoiseDocument(int width, int height) {
  auto image = std::make_unique<CDIBitmap>();
  image->Create(width, height, 24, 0);
  FillNoise(*image);
  CVividDoc::SetCreationMode(CM_BLANK);
  CVividDoc::SetPreparedImage(std::move(image));
  auto document = std::make_unique<CVividDoc>();
  document->OnNewDocument();
  return document;
}

}  // namespace bench
