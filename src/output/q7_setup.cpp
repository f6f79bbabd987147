#include "output/q7_setup.h"

#include "input/card_records.h"
#include "output/q7_coupling.h"

namespace kavro {

void q7_setup(q7_data_record&, const q7_card_block*, const imat&, int, int, int, double, int) {}

void q7_free(std::unique_ptr<q7_data_record>& data) {
  if (!data) return;
  data->segment_fluxes.close();
  data.reset();
}

}  // namespace kavro
