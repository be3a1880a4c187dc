#pragma once

#include "app/batch_options.h"
#include "scene/vec3.h"

struct Scene;

// What lumetra-batch writes once the radiosities are there, solved or
// loaded: every object's result file, then, as asked, the HDR picture, the
// picture and the export. Each failure is reported on standard error (result
// files on standard output, as the viewer's Save6d does) and the others are
// still written. Pictures show `ambient` (the displayed ambient radiosity,
// times each object's reflectance) as well; exports never do. Pictures need
// a current GL context. Returns kExitOk, or kExitOutput when something could
// not be written.
int writeBatchOutputs(const Scene& scene, const BatchOptions& options, const Vec3& ambient);
