#ifndef VELMO_RESOURCES_RESOURCE_H_
#define VELMO_RESOURCES_RESOURCE_H_

// Shared by the resource script and the code that loads the resources.
#define IDI_APP_ICON 101

#endif  // VELMO_RESOURCES_RESOURCE_H_
