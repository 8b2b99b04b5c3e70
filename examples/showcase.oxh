/* showcase.oxh: the numbers by which the showcase module names its
   bitmaps, sound, menu and menu items. */

#define LOGO          1
#define ICONS         2
#define LOGO_SIZE     16
#define CLICK         1
#define MAIN_MENU     1
#define ID_SOUND_ON   10
#define ID_SOUND_OFF  11
#define ID_ICONS      12
#define RIGHT_BUTTON  2
