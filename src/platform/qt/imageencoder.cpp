#include "platform/qt/imageencoder.h"

#include <QImageWriter>

namespace qv {

int GetEncoderClsid(std::string& format) {
  const QList<QByteArray> formats = QImageWriter::supportedImageFormats();
  for (qsizetype i = 0; i < formats.size(); ++i) {
    if (formats[i] == "jpeg" || formats[i] == "jpg") {
      format = formats[i].toStdString();
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace qv
