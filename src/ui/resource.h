// Ids of the configuration dialogs, their controls and their strings: one header for the .rc
// file and the code, so it holds #define lines and comments only.

// Dialogs.
#define IDD_CONFIG_DIALOG 5000
#define IDD_FORMAT_PAGE 102
#define IDD_PROPERTIES_PAGE 5005
#define IDD_INFO_PAGE 5006
#define IDD_TRIGGER_PAGE 5007

#define IDC_STATIC -1

// Camera list dialog; Close is IDOK (1).
#define IDC_CAMERA_LIST 5000
#define IDC_CONFIGURE 5001

// Video Format page.
#define IDC_FORMAT_LIST 5002
#define IDC_FRAMERATE_LIST 5003
#define IDC_MODE_LIST 5004

// Properties page: per row the slider, the lower-end and upper-end statics and the value field.
#define IDC_SHUTTER_SLIDER 5009
#define IDC_SHUTTER_MIN 5010
#define IDC_SHUTTER_MAX 5011
#define IDC_SHUTTER_VALUE 5012
#define IDC_GAIN_SLIDER 5013
#define IDC_GAIN_MIN 5014
#define IDC_GAIN_MAX 5015
#define IDC_GAIN_VALUE 5016
#define IDC_BRIGHTNESS_SLIDER 5057
#define IDC_BRIGHTNESS_MIN 5058
#define IDC_BRIGHTNESS_MAX 5059
#define IDC_BRIGHTNESS_VALUE 5060
#define IDC_GAMMA_SLIDER 5053
#define IDC_GAMMA_MIN 5054
#define IDC_GAMMA_MAX 5055
#define IDC_GAMMA_VALUE 5056
#define IDC_UB_SLIDER 5021
#define IDC_UB_MIN 5022
#define IDC_UB_MAX 5023
#define IDC_UB_VALUE 5024
#define IDC_VR_SLIDER 5025
#define IDC_VR_MIN 5026
#define IDC_VR_MAX 5027
#define IDC_VR_VALUE 5028
#define IDC_HUE_SLIDER 5037
#define IDC_HUE_MIN 5038
#define IDC_HUE_MAX 5039
#define IDC_HUE_VALUE 5040

// Trigger page.
#define IDC_TRIGGER_ENABLE 5062
#define IDC_TRIGGER_MODE 5063
#define IDC_TRIGGER_POLARITY 5064

// Info page (read-only edit fields).
#define IDC_INFO_DEVICE_NAME 5061
#define IDC_INFO_NODE_ID 5062
#define IDC_INFO_MODEL 5063
#define IDC_INFO_VENDOR 5064
#define IDC_INFO_DRIVER_VERSION 5065
#define IDC_INFO_FIRMWARE_VERSION 5066

// Strings.
#define IDS_CAMERA_CONFIGURATION 1
#define IDS_TRIGGER_MODE 2
#define IDS_LOW_ACTIVE 3
#define IDS_HIGH_ACTIVE 4
