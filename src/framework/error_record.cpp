#include "framework/error_record.h"

#include <array>
#include <cstdio>

#include "framework/console_transcript.h"
#include "framework/file_wrapper.h"
#include "framework/run_warnings.h"

namespace kavro {

error_record error_rec;
file_wrapper* run_log_file = nullptr;
int pause_flag = 0;

namespace {

// What a report does to the run after printing the message.
enum class message_kind {
  stop,     // the run stops after the current step
  warning,  // the run goes on
  fatal,    // the run stops and its result is the code
  silent    // no message; the run goes on
};

// A detail field of the error record inserted into a message.
enum class detail { none, what, name, int1, int2 };

// One piece of a message: fixed text, or one detail field.
struct piece {
  constexpr piece() = default;
  constexpr piece(const char* fixed) : text(fixed) {}
  constexpr piece(detail field_) : field(field_) {}
  std::string_view text;
  detail field = detail::none;
};

struct catalogue_entry {
  int code;
  message_kind kind;
  std::array<piece, 7> pieces;  // in print order; unused pieces are empty
};

using enum message_kind;
using enum detail;

// The message catalogue, sorted by code. Texts are printed as they stand:
// no character of a text or a detail is a format directive.
constexpr catalogue_entry catalogue[] = {
    {1, stop, {"Error: Can't open file debug.out\n"}},
    {2, stop, {"Error: You must give the name of a valid KAVRO project file as a command line\nargument.\n"}},
    {3, stop, {"Error: The specified project file was not found.\n"}},
    {4, stop, {"Error: Unable to open ", what, " file.\n  (File: ", name, ")\n"}},
    {5, stop, {"Error: KAVRO not compiled with VELM, but VELM file format specified\n"}},
    {6, stop,
     {"Error: You have specified both spatially-varied and uniform Manning roughness\n"
      "using both the ROUGHNESS and MANNING_N project file cards.  Only one of\n"
      "these may be specified.  Select only one option.\n"}},
    {7, stop,
     {"Error: You have specified both the Penman Montieth and Deardorff\n"
      "evapo-transpiration calculation methods.  Only one may be \n"
      "specified for long-term simulations.  Select only one method.\n"}},
    {8, stop,
     {"Error: You have specified two of either the Surface Airways, SAMSON, or VRX\n"
      "hydromet. file input type.  Only one file type may be specified for GINT-\n"
      "term simulations.  Select only one method.  Check your project file.\n"}},
    {9, stop,
     {"Error: You have specified neither the Penman Montieth or Deardorff\n"
      "evapo-transpiration calculation methods.  One method must be \n"
      "specified for long-term simulations.  Select only one method.\n"}},
    {10, stop,
     {"Error: You have specified both a rain gage file, and uniform rainfall\n"
      "options.  These options are mutually exclusive.  Please select\n"
      "only one option.\n"}},
    {11, stop,
     {"Error: You have an error in your input due to one of the following:\n"
      "\n"
      " - You have not specified a precipitation card in your project file.\n"
      "   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n"
      "   The PRECIP_FILE card must be followed by the name of the precipitation\n"
      "   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n"
      "   and RAIN_INTENSITY cards must also be given, followed by the proper values\n"
      " - You have specified spatially-uniform rainfall with either a zero\n"
      "   rate or duration.  Please check that your rain rate in mm/h or\n"
      "   rain duration in minutes are both non-zero.\n"}},
    {12, stop,
     {"Error: The number of X-windows plot ordinates ",
      int1,
      " is greater than the dimension of the array ",
      int2,
      "\n"}},
    {13, stop,
     {"Error: The project file specifies X-Windows plotting, but does not specify what to plot.\n"
      "You must include one or more of the following cards: XRAIN, XDEPTH, or XINFDEP\n"}},
    {14, warning,
     {"Warning: X-Windows Graphics Warning:\n"
      "The project file specifies X-Windows plotting of channel flow depth, but does\n"
      "not specify a channel routing method card.  This plotting routine\n"
      "can only plot channel flow depth when using channel routing.  Plotting of\n"
      "channel flow depth disabled.\n"
      "You must include the one of the following cards: CHAN_EXPLIC to enable\n"
      "plotting of channel flow depth in an X-window.\n"
      "\n"}},
    {15, stop,
     {"Error: The project file specifies X-Windows plotting, but does not specify how often to plot.\n"
      "You must include the following card: X_FREQ  N, where N is the plotting frequency.\n"}},
    {16, warning,
     {"Warning: X-Windows Graphics Warning:\n"
      "The project file specifies X-Windows plotting of infiltrated depth, but does\n"
      "not specify an infiltration method card.  This plotting routine\n"
      "currently only plots infiltrated depth when using the Green & Ampt or\n"
      "Green & Ampt with redistribution methods.  Plotting of infiltrated depth\n"
      "disabled.\n"
      "You must include the one of the following cards: INF_REDIST or GREEN_AMPT\n"
      "to enable plotting of infiltrated depth in an X-window.\n"
      "\n"}},
    {17, warning,
     {"X-Windows Graphics Warning:\n"
      "The project file specifies X-Windows plotting of soil surface moisture, but\n"
      "does not specify an infiltration method card.  This plotting routine\n"
      "currently plots soil surface water content when using the Green & Ampt,\n"
      "Green & Ampt with redistribution or Richards Equation.  Plotting of soil\n"
      "surface water content disabled.\n"
      "You must include the one of the following cards: INF_REDIST, GREEN_AMPT\n"
      "or INF_RICHARDS to enable plotting of surface water content in an X-window.\n"
      "\n"}},
    {18, stop,
     {"Error: The project file specifies both plotting of cumulative infiltrated depth via the\n"
      "XINFDEP card and plotting of soil surface water content via the XSURF card.\n"
      "Only one of the cards may be present in the project, because they are drawn\n"
      "in the same region of the X-Window.  Remove one of the cards.\n"}},
    {19, stop,
     {"Error: Either your XWIN_WIDTH is less than 750 or XWIN_HEIGHT is less than 500 pixels.\n"
      "These are the minimum values that allow legible plotting in the X-Window.  Make\n"
      "the values in your project file at least as large as these lower limits.\n"
      "Advanced apologies to those executing this program on a Palm Pilot.\n"}},
    {20, stop,
     {"Error: For long-term simulations, you must specify the redistribution form\n"
      "of the Green and Ampt infiltration equation.  Redistribution requires\n"
      "values of pore distribution index and residual saturation in addition\n"
      "to the 4 standard Green and Ampt parameters (hydraulic conductivity,\n"
      "capillary head, porosity, and initial soil moisture content).\n"
      "\n"
      "Change the infiltration option to Green & Ampt with redistribution\n"
      "and specify the 6 required parameters.\n"}},
    {21, stop, {"Error: Albedo values not specified for long term simulation. Check project file.\n"}},
    {22, stop,
     {"Error: Vegetation height values not specified for Penman-Montieth long term simulation.\n"
      " Check project file.\n"}},
    {23, stop,
     {"Error: Transmission coeff. values not specified for Penman-Montieth long term simulation.\n"
      " Check project file.\n"}},
    {24, stop,
     {"Error: tomatal resistance values not specified for Penman-Montieth long term simulation.\n"
      " Check project file.\n"}},
    {25, stop,
     {"Error: Wilting point values not specified for Penman-Montieth long term simulation.\n"
      " Check project file.\n"}},
    {26, stop,
     {"Error: You have specified both Green and Ampt and multi-layered\n"
      "soil infiltration.  Please select only one in the \n"
      "project file.\n"}},
    {27, stop,
     {"Error: You have specified both redistribution and multi-layered\n"
      "soil infiltration.  Please select only one in the \n"
      "project file. \n"}},
    {28, stop,
     {"Error: You have specified both Green and Ampt and Richards\n"
      "soil infiltration.  Please select only one in the \n"
      "project file. \n"}},
    {29, stop,
     {"Error: You have specified both Green and Ampt and Richards\n"
      "soil infiltration.  Please select only one in the \n"
      "project file. \n"}},
    {30, stop,
     {"Error: You have specified both redistribution and Richards\n"
      "soil infiltration.  Please select only one in the \n"
      "project file. \n"}},
    {31, stop,
     {"Error: You have specified both Layered Soil and Richards\n"
      "soil infiltration.  Please select only one in the \n"
      "project file. \n"}},
    {32, stop,
     {"Error: Groundwater cell vertical grid size not specified in project file.\n"
      "If you are simulating the influence of the water table on Richards\n"
      "equation, you must put the AQUIFER_DELTA_Z card in the project file.\n"}},
    {33, stop,
     {"Error: You have chosen both Green and Ampt and Redististribution\n"
      "Choose one or the other and try again\n"}},
    {34, stop,
     {"Error: Both the drain and backwater channel initialization methods have been\n"
      "selected.  Only one method may be specified. \n"}},
    {35, stop,
     {"Error: Preissmann implicit channel routing is not supported by KAVRO.\n"
      "Select explicit channel routing method. \n"}},
    {36, stop,
     {"Error: Both the implicit and explicit channel routing methods have been\n"
      "selected.  Only one method may be specified. \n"}},
    {37, stop,
     {"Error: Both the explicit and mesh channel routing methods have been\n"
      "selected.  Only one method may be specified.  Program terminated\n"}},
    {38, stop,
     {"You have specified both spatially-varied and uniform porosity for\n"
      "groundwater soil using both the gw_unif_porosity and gw_porosity_map\n"
      "project file cards. Only one of these may be specified.\n"
      "Select only one option.\n"}},
    {39, warning,
     {"Warning: You have specified neither spatially-varied, uniform, or mapping table porosity for\n"
      "groundwater soil without using both the gw_unif_porosity and\n"
      "gw_porosity_map project file cards. Groundwater porosities will be the.\n"
      "same as those in the last layer of your soil input table.\n"}},
    {40, stop,
     {"You have specified both spatially-varied and uniform hydraulic\n"
      "conductivity for groundwater soil using both the gw_unif_hycond and\n"
      "gw_hycond_map project file cards. Only one of these may be specified.\n"
      "Select only one option.\n"}},
    {41, warning,
     {"Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic \n"
      "conductivity for groundwater soil without using both the gw_unif_hycond\n"
      "and gw_hycond_map project file cards. Groundwater hydraulic conductivies \n"
      "will be taken from the soil input table.\n"}},
    {42, stop,
     {"Error: You have specified both groundwater routing and Sacramento soil moisture\n"
      "accounting.  These two methods are mutually-exclusive.  Use one or the other.\n"}},
    {43, stop,
     {"Error: You have specified that KAVRO is being run within QLN, but you did\n"
      "not specify the model(s) that are being co-run.  The present options are:\n"
      "VOPA.  If you want to run with VOPA for instance, you must place the VOPA\n"
      "project file card in the project file. \n"}},
    {44, stop,
     {"Error: KAVRO is running within QLN in event mode.  The QLN_EVENT_NUM card\n"
      "was placed in the KAVRO project file without an argument.  The\n"
      "QLN_EVENT_NUM card must be followed by a GINT int argument that specifies\n"
      "the event number to be simulated.  If 'QLN_EVENT_NUM 0' is specified,\n"
      "then KAVRO writes out all available precip. events into the file named\n"
      "QLN_PRECIP.SUM, and terminates.  If the QLN_EVENT_NUM argument is greater than\n"
      "0, then that particular event is simulated.  Check the project file. \n"}},
    {45, stop,
     {"Error: Groundwater simulations in KAVRO within the QLN environment\n"
      "are not yet supported. \n"}},
    {46, stop,
     {"Error: You have specified that KAVRO is being run with VOPA, but you did\n"
      "not specify that KAVRO is being run within the QLN environment.\n"
      "KAVRO only runs with VOPA in the QLN environment.  You must place the\n"
      "QLN project file card in the project file, and pay close attention to\n"
      "start-up conditions. (e.g. QLN_EVENT_NUM card). \n"}},
    {47, stop, {"Error: Unable to open VELM data source ", what, ", ", name, ".\n"}},
    {48, stop,
     {"Error: Can't open theta location output file: ",
      name,
      "\n"
      "You specify the name of the output file which will contain the soil moisture\n"
      "ordinates at the points specified in the file ",
      what,
      "\n"
      "This is done by using the OUT_THETA_LOCATION card in the project file.\n"}},
    {49, stop,
     {"Error: Can't open concentration location output file: ",
      what,
      "\n"
      "You specify the name of the output file which will contain the concentration\n"
      "ordinates at the points specified in the file ",
      name,
      "\n"
      "This is done by using the OUT_CON_LOCATION card in the project file.\n"}},
    {50, stop,
     {"Error: Can't open depth location output file: ",
      what,
      "\n"
      "You specify the name of the output file which will contain the depth\n"
      "ordinates at the points specified in the file ",
      name,
      "\n"
      "This is done by using the OUT_DEP_LOCATION card in the project file.\n"}},
    {51, stop,
     {"Error: Can't open hydrograph location output file: ",
      what,
      "\n"
      "You specify the name of the output file which will contain the hydrograph\n"
      "ordinates at the points specified in the file ",
      name,
      "\n"
      "This is done by using the OUT_HYD_LOCATION card in the project file.\n"}},
    {52, stop, {"Error: Time step is 0 seconds.\n"}},
    {53, stop, {"Error: Time step is greater than 60 seconds.\n"}},
    {54, stop, {"Error: The time step (", int1, ") must be evenly divisible into 60 seconds.\n"}},
    {55, warning, {"Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n"}},
    {56, stop, {"Error: Outlet slope not specified, is zero, or is negative.\n"}},
    {57, stop,
     {"Error: Latitude and longitude of basin centroid required for long-term simulations.\n"
      "Specify these in the project file using keywords 'latitude' and 'longitude'\n"}},
    {58, stop,
     {"Error: GMT time offset required for long-term simulations.\n"
      "Specify the offset in the project file using keyword 'GMT'\n"}},
    {59, stop, {"Error: Can't open output file: ", name, "\n"}},
    {60, stop, {"Error: Unable to open the VELM file ", name, " for output.\n"}},
    {61, stop,
     {"Error: Unable to open output data set group ",
      name,
      " for writing in the grid ",
      what,
      " of the VELM file."}},
    {62, stop, {"Error: Unable to create ", name, " map in the VELM file\n"}},
    {63, stop,
     {"Error: Unable to open output data set group ",
      name,
      " for writing in the stream ",
      what,
      " of the VELM file."}},
    {64, stop, {"Unable to open Mapping Table file: ", name, "\n"}},
    {65, stop, {"Unable to open index file ", name, "\n"}},
    {66, stop,
     {"Problem reading mapping table file -- no entries found in table ",
      what,
      " (NUM_IDS is 0)\n"}},
    {67, stop,
     {"There is a problem with the wetlands index map.  It contains\n",
      int1,
      " ID's, while the mapping table file contains ",
      int2,
      " ID's.\n"
      "The index map and mapping table file must have the same number\n"
      "of ID's. \n"}},
    {68, stop,
     {"The number of wetland ids specified in the master table file \n"
      "is over 300!  This is highly unusual.  I'm bombing... in a   \n"
      "dazed and confused state.  So many wetlands!\n"}},
    {69, stop, {"Error reading the contaminant transport tables in the mapping table file.\n"}},
    {70, stop, {"Unexpected end of file in file: ", name, "\n"}},
    {71, stop, {"Index ID exceeds table limit, file: ", name, " [row ", int1, ":col ", int2, "]\n"}},
    {72, stop, {"Incorrect number of rows and columns in map: ", name, "\n"}},
    {73, stop, {"Incorrect number of rows in map: ", name, "\n"}},
    {74, stop, {"Incorrect number of columns in map: ", name, "\n"}},
    {75, stop,
     {"Error: There were ",
      int1,
      " errors trying to open the nutrient output files.\n"
      "The last error was: unable to open nutrient output file ",
      name,
      ".\n"}},
    {76, stop, {"Error: unable to open the aquatic environment file ", name, ".\n"}},
    {77, stop,
     {"Error: The header for the aquatic environment file is invalid or does not match \n"
      " the current version. \n"
      " The aquatic environment file specified is: ",
      name,
      "\n"
      " The header should be : ",
      what}},
    {78, stop,
     {"Error: An index [",
      int1,
      "] in the aquatic environment table is greater than the\n"
      "number of IDs specified [",
      int2,
      "]\n"}},
    {79, stop,
     {"Error: The NUTRIENTS card in the project file must be specified before the ",
      what,
      " card\n"}},
    {80, stop, {"Error: Unable to open the nutrient file ", name, "\n"}},
    {81, stop, {"Error: Unable to open the overland Aquatic Environment map.\n"}},
    {82, stop, {"Error: Unable to open the nutrient summary file\n"}},
    {83, stop, {"Error: Unable to open the overland pump file\n"}},
    {84, stop,
     {"Error: The OV_BOUNDARY card has been specified in the project file but the \n"
      "       OVERLAND_BOUNDARY table was not found...\n"}},
    {85, stop,
     {"Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE \"elev series name\"\n"
      "The elevation series is missing\n"}},
    {86, stop,
     {"Error: The elevation series for a RATING_CURVE card is not found. Make sure that the elevation series\n"
      " file is in the project file before the channel input file and that the elevation series is defined."}},
    {87, stop,
     {"Error: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE SCHEDULED_RELEASE \"time series name\"\n"
      "The time series is missing\n"}},
    {88, stop,
     {"Error: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the time series\n"
      " file is in the project file before the channel input file and that the time series is defined."}},
    {89, stop,
     {"Error: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE \"elev series name\"\n"
      "The elevation series is missing\n"}},
    {90, stop,
     {"Error: The elevation series for a RULE_CURVE card is not found. Make sure that the elevation series\n"
      " file is in the project file before the channel input file and that the elevation series is defined."}},
    {91, stop,
     {"Error: The number of sediments specified in the SEDIMENTS table is ",
      int1,
      " while the number of sediments \n"
      "specified in the SED_EROS_PROPS table is ",
      int2,
      ". The values must match.\n"}},
    {92, stop, {"Error: Sediment transport specified but sediments table missing in the .cmt file.\n"}},
    {93, stop, {"Error: Unable to read the soil erosion properties table from mapping table file\n"}},
    {94, stop, {"Error: 0.0 values for roughness found. Check the roughness map/table\n"}},
    {95, warning, {"Warning: There are no segments in the Q7 segment map.\n"}},
    {96, warning,
     {"Warning: The KAVRO to Q7 internal segment flux option is turned on\n"
      "But there are no segments in the Q7 segment map or in the link-node to segment file.\n"}},
    {97, stop,
     {"Error: In the Q7 internal stream flux to segment file, some link/node pairs \n"
      "refer to a segment of 0 or a segment that is not in the segment map file.\n"}},
    {98, stop, {"Error: Unable to open the Q7 internal flux output file [", name, "].\n"}},
    {99, stop, {"Too many super-junctions (>1000!) in superlink.  Your network is too large.\n"}},
    {100, stop, {"Too many nodes (>50!) in one link in superlink.  Your network is too large.\n"}},
    {101, stop, {"Too many superlinks (>1000!) in superlink.  Your network is too large.\n"}},
    {102, stop, {"Error in creating radar mapping to grid.\n"}},
    {103, stop, {"Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, EVENT. \n"}},
    {104, stop, {"Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n"}},
    {105, stop,
     {"Error: Calibration is turned on but one or more values for CALIB_COMP_DATA, CALIB_OBJ_FUNC are invalid.\n"}},
    {106, stop, {"Error: Unable to calibration observed data file (CALIB_OBS_DATA) : ", name, ".\n"}},
    {107, stop, {"Error: Invalid header line in the observed data file. Should be OBS_DATA_FILE.\n"}},
    {108, stop,
     {"Error: Invalid NUM_LOCATIONS line in the observed data file. \n"
      "It should be the second line in the file.\n"}},
    {109, stop,
     {"Error: Invalid NUM_DATA_POINTS line in the observed data file. \n"
      "It should be the third line in the file.\n"}},
    {110, stop,
     {"Error: The number of output locations in the observed data file \n"
      "does not match the number of output locations in the outlet \n"
      "hydrograph file.\n"}},
    {111, stop, {"Error: Invalid data line in the observed data file. Check file.\n"}},
    {112, stop,
     {"Error: More event/daily values in the observed data file than specified by the NUM_DATA_POINTS value. Check file.\n"}},
    {113, stop, {"Error: A location number is not valid in the observed data file. Check file.\n"}},
    {114, stop,
     {"Error: Reached end of observed data file before finding all of the data values. Check file.\n"}},
    {115, stop, {"Unable to open stream map file ", name, "\n"}},
    {116, stop, {"Stream map file does not use correct header (file: ", name, ")\n"}},
    {117, stop,
     {"NLINKS or MAXNODES card in stream map file does not match channel input file (file: ",
      name,
      ")\n"}},
    {118, stop,
     {"Error reading data from stream map file. Check to make sure that the correct number of \n"
      "data points exist for each link. (file: ",
      name,
      ")\n"}},
    {119, stop,
     {"Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Grid): ",
      what,
      "\n"}},
    {120, stop,
     {"Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Stream): ",
      what,
      "\n"}},
    {121, stop, {"Error: Unable to open the stream Aquatic Environment map.\n"}},
    {122, stop, {"no convergence in culvert critical depth routine\n"}},
    {123, stop, {"arch culverts not yet supported in subroutine crit_calc() \n"}},
    {124, stop, {"Root must be bracketed in ZBRENT\n"}},
    {125, stop, {"Error: The number of contaminants is not a positive value.\n"}},
    {126, stop,
     {"Error: the mapping table for the groundwater table is not set up correctly. Check index map file names.\n"}},
    {127, stop,
     {"Error: Stream head boundary time series (",
      what,
      ") can not be found. Check project file.\n"}},
    {128, stop,
     {"You are trying to simulate NSM soil dynamics without specifying a soil bulk density table.\n"}},
    {130, stop, {"Error: unable to open the nutrient summary file.\n"}},
    {131, stop, {"Error: Pipe invert must be above the bottom of the aquifer\n"}},
    {132, stop,
     {"You are trying to simulate Richards' Equation soil dynamics but without using a valid soil type index map.\n"
      "Index map filename = ",
      name,
      "\n"}},
    {133, stop, {"Error: NaN error in groundwater tile exchange\n"}},
    {134, stop,
     {"KAVRO crashed during an update of Superlink, Check your Superlink/Supernode network/numbering ",
      name,
      "\n"}},
    {135, stop, {"Error: observed data file improperly formatted.\n"}},
    {136, stop,
     {"You are trying to simulate MLGA soil dynamics but without using a valid soil type index map.\n"
      "Index map filename = ",
      name,
      "\n"}},
    {200, fatal, {"Program termanated due to invalid channel input file ", name, "\n"}},
    {300, fatal, {"Program termanated due to NaN in the non-SUPERLINK drain system ", name, "\n"}},
    {301, silent, {}},
};

const catalogue_entry* find_entry(int code) {
  for (const catalogue_entry& entry : catalogue) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

void append_detail(std::string& out, detail field, const error_record& rec) {
  switch (field) {
    case detail::what: out += rec.what; break;
    case detail::name: out += rec.name; break;
    case detail::int1: out += std::to_string(rec.int1); break;
    case detail::int2: out += std::to_string(rec.int2); break;
    case detail::none: break;
  }
}

}  // namespace

std::string catalogue_message(int code, const error_record& rec) {
  std::string text;
  const catalogue_entry* entry = find_entry(code);
  if (!entry) return text;
  for (const piece& p : entry->pieces) {
    text += p.text;
    append_detail(text, p.field, rec);
  }
  return text;
}

int report_error(error_record& rec) {
  const catalogue_entry* entry = nullptr;
  if (rec.code > 0) {
    print_and_log(run_log_file, "\n");
    rec.stop = 1;
    entry = find_entry(rec.code);
  }
  if (entry) {
    const std::string text = catalogue_message(rec.code, rec);
    if (!text.empty()) print_and_log(run_log_file, text);
    if (entry->kind == message_kind::warning) note_warning(text);
    switch (entry->kind) {
      case message_kind::warning:
      case message_kind::silent: rec.stop = 0; break;
      case message_kind::fatal: rec.fatal = 1; break;
      case message_kind::stop: break;
    }
  }
  if (rec.stop > 0 && rec.fatal != 0) {
    // The notice belongs to the console only; the log already holds the message.
    std::fputs("KAVRO Terminated.\n", stdout);
    pause_on_exit();
  } else {
    rec.code = 0;
  }
  return 0;
}

void print_and_log(file_wrapper* log, std::string_view text) {
  if (log && log->fp) {
    // The log holds it: a run that stops need not repeat it there.
    write_console_untracked(text.data(), text.size());
    std::fwrite(text.data(), 1, text.size(), log->fp);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

void pause_on_exit() {
  if (!pause_flag) return;
  std::fflush(stdout);
  std::fputs("Program terminated.  Hit any key to continue.\n", stderr);
  std::getchar();
}

bool report_pending_and_check_stop() {
  if (error_rec.code > 0) report_error(error_rec);
  return error_rec.stop != 0;
}

}  // namespace kavro
