// The whole installation, run inside one button click.
#pragma once

namespace varnel {

void RunInstallation();

}  // namespace varnel
