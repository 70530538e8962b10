// The whole installation, run inside one button click.
#pragma once

namespace varnel {

void RunInstallation();

// The bar position after `item` of `count` items: the quotient first, in
// double precision, then times 100, truncated.
int ProgressPosition(int item, int count);

}  // namespace varnel
