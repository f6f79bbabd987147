#include "transport/nutrient_seams.h"

namespace kavro {

std::unique_ptr<nsm_model> nsm_model_init() { return std::make_unique<nsm_model>(); }

}  // namespace kavro
