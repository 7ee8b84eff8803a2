#include "run_summary.h"

QStringList summaryLines(const ImageOptimizer::Result& result) {
  QStringList lines{QString(), QStringLiteral("Done. %1 resized/converted, %2 already small.")
                                   .arg(result.processed)
                                   .arg(result.skippedSmall)};
  if (result.grew > 0) {
    lines << QStringLiteral("%1 came out larger after reprocessing -- kept the original instead.")
                 .arg(result.grew);
  }
  if (result.failed > 0) {
    lines
        << QStringLiteral("%1 file(s) could not be optimized -- see the messages above.").arg(result.failed);
  }
  if (!result.renamedFiles.empty()) {
    lines << QString()
          << QStringLiteral("%1 file(s) changed format and won't be overwritten on the server.")
                 .arg(result.renamedFiles.size())
          << QStringLiteral("See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list.");
  }
  return lines;
}

QString errorLine(const std::exception_ptr& error) {
  return QStringLiteral("Error: ") + QString::fromStdString(ImageOptimizer::errorDescription(error));
}
