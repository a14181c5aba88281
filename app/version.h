// The bootstrapper's own version, for the log. The version resource is the
// product's (the packer may rewrite it), so it cannot tell this one.
#pragma once

namespace korvelt {

constexpr char kBootstrapperVersion[] = "1.0.0";

}  // namespace korvelt
