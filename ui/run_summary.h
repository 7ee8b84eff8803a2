#pragma once

#include <QStringList>
#include <exception>

#include "image_optimizer.h"

// The lines that close the status log of a run: the summary of a finished run, or the one error line
// of a failed one.
QStringList summaryLines(const ImageOptimizer::Result& result);
QString errorLine(const std::exception_ptr& error);
