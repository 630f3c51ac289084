#include "sky/sky.h"

#include <GL/gl.h>

uint32_t faceTextures[FACE_COUNT] = {};
uint32_t skyList = 0;

void buildSkyList(const uint32_t textureNames[FACE_COUNT])
{
    skyList = glGenLists(1);
    glNewList(skyList, GL_COMPILE);
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        // A binding cannot change between glBegin and glEnd, so every face is its own quad.
        glBindTexture(GL_TEXTURE_2D, textureNames[face]);
        glBegin(GL_QUADS);
        for (const SkyVertex& vertex : SKY_CUBE[face]) {
            glTexCoord2d(vertex.s, vertex.t);
            glVertex3f(vertex.x, vertex.y, vertex.z);
        }
        glEnd();
    }
    glEndList();
}

void drawSky(float pitch, float yaw, float roll)
{
    glPushMatrix();
    glPushAttrib(GL_ENABLE_BIT);

    // The cube sits at the eye, behind everything drawn after it: it needs no depth test, and its
    // depths must not hide what comes later, so the depth buffer is cleared once it is drawn.
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    // Under the default texture environment white shows the textures' own colours. Not part of the
    // enable bits, so it stays white afterwards.
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    // Rotation only: the caller's translation is dropped, so the cube is always centred on the eye.
    glLoadIdentity();
    glRotatef(pitch, 1.0f, 0.0f, 0.0f);
    glRotatef(yaw, 0.0f, 1.0f, 0.0f);
    glRotatef(roll, 0.0f, 0.0f, 1.0f);
    glCallList(skyList);

    glPopAttrib();
    glPopMatrix();
    glClear(GL_DEPTH_BUFFER_BIT);
}
